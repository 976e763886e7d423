// The main of the benchmarks that draw in a window (they need an X display):
// the viewer's process settings come before the Qt application, as in the
// orvane program, and the application lives around the whole run.
#include <QApplication>

#include <benchmark/benchmark.h>

#include "view/ViewerManager.h"

int main(int argc, char** argv)
{
    ViewerManager::prepareProcess(ViewerManager::Embedding::NativeWindow);
    benchmark::Initialize(&argc, argv);
    QApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
