#include "tests/support/SimulationHarness.h"

#include <QCoreApplication>
#include <QTest>

#include <thread>

#include "net/TCPServer.h"
#include "tests/support/GlHarness.h"
#include "view/CompositeViewerQOSG.h"

namespace testsupport {

SimulationHarness::SimulationHarness(QSize windowSize,
                                     const std::function<void(ObjectFactory&)>& registerKinds)
{
    if (!_workDir.isValid())
        return;
    _window.resize(windowSize);
    _views = std::make_unique<ViewerManager>(&_window, _scene.get(), _hud.get(),
                                             Embedding::NativeWindow);
    _window.show();
    if (!QTest::qWaitForWindowExposed(&_window))
        return;
    registerKinds(_factory);
    _manager = std::make_unique<ObjectManager>(_scene.get(), _hud.get(), 0,
                                               ObjectServices{.viewHost = _views.get()},
                                               _workDir.path(), _factory);
    if (!_manager->server().waitUntilListening(std::chrono::seconds(5)))
        return;
    _client.connect("127.0.0.1", _manager->server().port());
    _ready = pumpUntil([&] { return _manager->state() == ObjectManager::Online; });
    checkGlErrors(*_views);
}

SimulationHarness::~SimulationHarness()
{
    _client.close();
    _manager.reset();
    _views.reset();
}

bool SimulationHarness::pumpUntil(const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout)
{
    const auto limit = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit || !_manager)
            return false;
        _manager->updateStatus();
        if (_manager->state() == ObjectManager::Replay)
            _manager->replayTick(1.0e6f); // the whole recording
        QCoreApplication::processEvents();
        _views->viewer()->frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SimulationHarness::settle(std::chrono::milliseconds duration)
{
    const auto until = std::chrono::steady_clock::now() + duration;
    pumpUntil([&] { return std::chrono::steady_clock::now() > until; }, duration * 2);
}

} // namespace testsupport
