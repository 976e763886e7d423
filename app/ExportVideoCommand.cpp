#include "app/ExportVideoCommand.h"

#include <QApplication>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>

#include "app/ExportSupport.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "video/ExportChecks.h"
#include "video/ReplayExportHost.h"
#include "video/ReplayVideoExport.h"
#include "video/VideoCodecs.h"
#include "video/VideoPresets.h"

namespace exportvideo {

namespace {

using exportsupport::readInteger;
using exportsupport::readNumber;
using exportsupport::readSize;
using video::VIDEO_CODECS;

constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;

// The short names of --codec and the entry of the codec list each stands for.
struct CodecName
{
    const char* name;
    int entry;
};
constexpr CodecName CODEC_NAMES[] = {
    {"flv", 0}, {"mpeg4", 2}, {"huffyuv", 3}, {"msmpeg4v2", 4}, {"wmv2", 5},
};

bool endsWith(const std::string& text, const char* ending)
{
    const std::size_t n = std::strlen(ending);
    return text.size() >= n && text.compare(text.size() - n, n, ending) == 0;
}

// The integer fields and their ranges, as the dialog offers them.
bool inRange(int value, int minimum, int maximum)
{
    return value >= minimum && value <= maximum;
}

} // namespace

bool requested(int argc, char** argv)
{
    return exportsupport::hasArgument(argc, argv, OPTION);
}

std::string codecNames()
{
    std::string names;
    for (const CodecName& codec : CODEC_NAMES)
        names += (names.empty() ? "" : ", ") + std::string(codec.name);
    return names;
}

std::string usage()
{
    return "usage: orvane --export-video <replay.dat> <out.mp4> [--preset NAME]\n"
           "         [--codec " +
           codecNames() +
           "] [--bitrate KBITS]\n"
           "         [--fps N] [--size WIDTHxHEIGHT] [--speed S] [--from T0] [--to T1]\n" +
           exportsupport::cameraUsage();
}

int codecEntry(const std::optional<std::string>& codec, const std::string& output)
{
    if (codec) {
        for (const CodecName& name : CODEC_NAMES)
            if (*codec == name.name)
                // The QuickTime entry of MPEG-4 for a .mov file, as the
                // dialog's codec list has it.
                return name.entry == 2 && endsWith(output, ".mov") ? 1 : name.entry;
        return video::codecIndex(*codec);
    }
    const std::pair<const char*, int> byExtension[] = {
        {".flv", 0}, {".mov", 1}, {".mp4", 2}, {".avi", 4}, {".wmv", 5}};
    for (const auto& [extension, entry] : byExtension)
        if (endsWith(output, extension))
            return entry;
    return -1;
}

Parsed parse(const std::vector<std::string>& arguments)
{
    Parsed parsed;
    Options options;
    parsed.error = exportsupport::readArguments(
        arguments, OPTION, options,
        [&](const std::string& argument, const std::string& value) -> std::string {
            int integer = 0;
            double number = 0;
            if (argument == "--preset") {
                options.preset = value;
            } else if (argument == "--codec") {
                options.codec = value;
            } else if (argument == "--bitrate") {
                if (!readInteger(value, integer) || !inRange(integer, 10, 100000))
                    return "--bitrate takes a whole number of kBit/s from 10 to 100000, not \"" +
                           value + "\"";
                options.bitrate = integer;
            } else if (argument == "--fps") {
                if (!readInteger(value, integer) || !inRange(integer, 1, 1000))
                    return "--fps takes a whole number from 1 to 1000, not \"" + value + "\"";
                options.frameRate = integer;
            } else if (argument == "--size") {
                int width = 0, height = 0;
                if (!readSize(value, width, height))
                    return "--size takes WIDTHxHEIGHT, each from 10 to 5000, not \"" + value + "\"";
                options.width = width;
                options.height = height;
            } else if (argument == "--speed") {
                if (!readNumber(value, number) || number < 0.0001 || number > 10000)
                    return "--speed takes a number from 0.0001 to 10000, not \"" + value + "\"";
                options.speed = number;
            } else if (argument == "--from" || argument == "--to") {
                if (!readNumber(value, number) || number < 0)
                    return argument + " takes a time in seconds, not \"" + value + "\"";
                (argument == "--from" ? options.from : options.to) = number;
            } else {
                return "unknown option " + argument;
            }
            return {};
        });
    if (!parsed.error.empty())
        return parsed;
    parsed.options = options;
    return parsed;
}

Range exportRange(const Options& options, double first, double last)
{
    Range range{options.from.value_or(first), options.to.value_or(last), {}};
    auto moved = [](const char* option, double asked, const char* where, double to) {
        std::ostringstream note;
        note << option << " " << asked << " is " << where << " of the replay: using " << to << " s";
        return note.str();
    };
    if (range.start < first) {
        range.notes.push_back(moved("--from", range.start, "before the first record", first));
        range.start = first;
    }
    if (range.end > last) {
        range.notes.push_back(moved("--to", range.end, "after the last record", last));
        range.end = last;
    }
    return range;
}

int run(int argc, char** argv, Embedding embedding)
{
    std::optional<Options> read = exportsupport::readCommandLine(argc, argv, parse, usage);
    if (!read)
        return 2;
    Options& options = *read;

    const std::unique_ptr<QApplication> application =
        exportsupport::startApplication(argc, argv, embedding);
    if (!application)
        return 1;

    QSettings store = settings::openSettings();
    if (options.preset) {
        std::optional<video::VideoPreset> preset =
            video::loadPreset(store, QString::fromStdString(*options.preset));
        for (const video::VideoPreset& fallback : video::defaultPresets())
            if (!preset && fallback.name.toStdString() == *options.preset)
                preset = fallback;
        if (!preset) {
            std::cerr << "orvane: there is no preset named \"" << *options.preset << "\"\n";
            return 2;
        }
        if (!options.codec)
            options.codec = preset->codec.toStdString();
        if (!options.bitrate)
            options.bitrate = preset->bitrate.toInt();
        if (!options.frameRate)
            options.frameRate = preset->framerate.toInt();
        if (!options.width) {
            options.width = preset->width.toInt();
            options.height = preset->height.toInt();
        }
    }
    const int entry = codecEntry(options.codec, options.output);
    if (entry < 0) {
        std::cerr << "orvane: "
                  << (options.codec ? "unknown codec \"" + *options.codec + "\""
                                    : "no codec for the file type of \"" + options.output + "\"")
                  << "; give --codec " << codecNames() << "\n";
        return 2;
    }

    exportsupport::ExportJob job(options.output);
    if (!job.open(options.replay, embedding, store))
        return 1;
    video::ReplayExportHost& host = job.host();
    const ReplayManager& replay = job.replay();

    video::ExportRequest request;
    request.fileName = QString::fromStdString(options.output);
    request.codecItem =
        QString::fromLatin1(VIDEO_CODECS[std::size_t(entry)].item.data(),
                            qsizetype(VIDEO_CODECS[std::size_t(entry)].item.size()));
    request.firstTime = replay.firstTime();
    request.lastTime = replay.lastTime();
    const Range range = exportRange(options, request.firstTime, request.lastTime);
    for (const std::string& note : range.notes)
        std::cout << note << "\n";
    request.start = range.start;
    request.end = range.end;
    if (const QString failure = video::exportCheckFailure(request); !failure.isEmpty()) {
        std::cerr << "orvane: " << failure.toStdString() << "\n";
        return 2;
    }

    video::ExportParameters parameters;
    parameters.fileName = job.stagedPath();
    parameters.width = options.width.value_or(DEFAULT_WIDTH);
    parameters.height = options.height.value_or(DEFAULT_HEIGHT);
    parameters.frameRate = options.frameRate.value_or(25);
    // The dialog's default for a view of the video's size.
    parameters.bitRate =
        options.bitrate.value_or(std::max(10, parameters.width * parameters.height / 30000 * 100));
    parameters.codec = video::codecFromNumber(VIDEO_CODECS[std::size_t(entry)].codecNumber);
    parameters.speed = options.speed;
    parameters.start = request.start;
    parameters.end = request.end;
    parameters.camera = options.camera;

    const std::int64_t total = video::ReplayVideoExport::frameCount(
        parameters.start, parameters.end, parameters.speed, parameters.frameRate);
    std::cout << "Exporting " << options.replay << " from " << parameters.start << " s to "
              << parameters.end << " s into " << options.output << ": " << total << " frames of "
              << parameters.width + (parameters.width & 1) << " x "
              << parameters.height + (parameters.height & 1) << " at " << parameters.frameRate
              << " frames/s, " << VIDEO_CODECS[std::size_t(entry)].item << ", "
              << parameters.bitRate << " kBit/s" << std::endl;
    int shown = -1;
    video::ReplayVideoExport conversion(host.viewer(), host.objects(), host.clock());
    const video::ExportResult result = conversion.run(parameters, [&](double, std::int64_t frames) {
        const int percent = total > 0 ? int(frames * 100 / total) : 100;
        if (percent != shown) {
            shown = percent;
            std::cout << "converting: " << percent << "% (" << frames << " of " << total
                      << " frames)" << std::endl;
        }
        return true;
    });
    if (result.outcome == video::ExportResult::Failed) {
        std::cerr << "orvane: " << result.error << "\n";
        return result.cameraUnavailable ? 2 : 1;
    }
    if (!job.commit())
        return 1;
    std::cout << "Wrote " << result.frames << " frames to " << options.output << std::endl;
    return 0;
}

} // namespace exportvideo
