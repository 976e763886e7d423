#include "app/ExportPictureCommand.h"

#include <QApplication>
#include <QImage>
#include <QString>

#include <cstring>
#include <iostream>
#include <sstream>

#include "app/ExportSupport.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "video/ReplayExportHost.h"
#include "video/ReplayVideoExport.h"

namespace exportpicture {

namespace {

// The image format for the output's extension, or null.
const char* formatOf(const std::string& output)
{
    const QString suffix = QString::fromStdString(output).section('.', -1).toLower();
    if (suffix == "png")
        return "PNG";
    if (suffix == "jpg" || suffix == "jpeg")
        return "JPEG";
    return nullptr;
}

} // namespace

bool requested(int argc, char** argv)
{
    return exportsupport::hasArgument(argc, argv, OPTION);
}

std::string usage()
{
    return "usage: orvane --export-picture <replay.dat> <out.png|out.jpg> --at T "
           "[--size WIDTHxHEIGHT]\n" +
           exportsupport::cameraUsage();
}

Parsed parse(const std::vector<std::string>& arguments)
{
    Parsed parsed;
    Options options;
    bool at = false;
    parsed.error = exportsupport::readArguments(
        arguments, OPTION, options,
        [&](const std::string& argument, const std::string& value) -> std::string {
            if (argument == "--at") {
                if (!exportsupport::readNumber(value, options.at) || options.at < 0)
                    return "--at takes a time in seconds, not \"" + value + "\"";
                at = true;
            } else if (argument == "--size") {
                if (!exportsupport::readSize(value, options.width, options.height))
                    return "--size takes WIDTHxHEIGHT, each from 10 to 5000, not \"" + value + "\"";
            } else {
                return "unknown option " + argument;
            }
            return {};
        });
    if (!parsed.error.empty())
        return parsed;
    if (!at) {
        parsed.error = std::string(OPTION) + " needs --at T, the replay time to draw";
        return parsed;
    }
    if (!formatOf(options.output)) {
        parsed.error = "the picture is written as PNG or JPEG: \"" + options.output +
                       "\" ends in neither .png, .jpg nor .jpeg";
        return parsed;
    }
    parsed.options = options;
    return parsed;
}

int run(int argc, char** argv, Embedding embedding)
{
    const std::optional<Options> options = exportsupport::readCommandLine(argc, argv, parse, usage);
    if (!options)
        return 2;
    const std::unique_ptr<QApplication> application =
        exportsupport::startApplication(argc, argv, embedding);
    if (!application)
        return 1;

    exportsupport::ExportJob job(options->output);
    if (!job.open(options->replay, embedding, settings::openSettings()))
        return 1;
    video::ReplayExportHost& host = job.host();
    const ReplayManager& replay = job.replay();
    if (options->at < replay.firstTime() || options->at > replay.lastTime()) {
        std::cerr << "orvane: --at " << options->at << " is outside the replay, which runs from "
                  << replay.firstTime() << " s to " << replay.lastTime() << " s\n";
        return 2;
    }

    video::ReplayVideoExport conversion(host.viewer(), host.objects(), host.clock());
    const video::Picture picture =
        conversion.picture(options->at, options->width, options->height, options->camera);
    if (!picture.image) {
        std::cerr << "orvane: " << picture.error << "\n";
        return picture.cameraUnavailable ? 2 : 1;
    }
    const osg::Image& drawn = *picture.image;
    // BGRA bytes are a 32-bit 0xAARRGGBB on this (little-endian) machine;
    // the background's alpha means nothing in a picture.
    const QImage buffer(drawn.data(), drawn.s(), drawn.t(), int(drawn.getRowStepInBytes()),
                        QImage::Format_RGB32);
    const QImage image = buffer.mirrored()
                             .scaled(options->width, options->height, Qt::IgnoreAspectRatio,
                                     Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB888);
    if (!image.save(QString::fromStdString(job.stagedPath()), formatOf(options->output), 95)) {
        std::cerr << "orvane: could not write to file: '" << options->output << "'\n";
        return 1;
    }
    if (!job.commit())
        return 1;
    std::cout << "Wrote the scene at " << options->at << " s, " << options->width << " x "
              << options->height << ", to " << options->output << std::endl;
    return 0;
}

} // namespace exportpicture
