#include "app/ExportVideoCommand.h"

#include <QApplication>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include "app/ObjectRegistry.h"
#include "app/ProgramServices.h"
#include "app/SceneShadows.h"
#include "app/VisMainWindow.h"
#include "files/ProgramPaths.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "video/ExportChecks.h"
#include "video/ReplayExportHost.h"
#include "video/ReplayVideoExport.h"
#include "video/VideoCodecs.h"
#include "video/VideoPresets.h"
#include "view/EglWindow.h"
#include "view/GlChoice.h"

namespace exportvideo {

namespace {

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

bool readNumber(const std::string& text, double& value)
{
    std::istringstream in(text);
    in >> value;
    return !in.fail() && in.eof() && std::isfinite(value);
}

bool readInteger(const std::string& text, int& value)
{
    double number = 0;
    if (!readNumber(text, number) || number != std::floor(number) || number < 1 || number > 1e6)
        return false;
    value = int(number);
    return true;
}

// The integer fields and their ranges, as the dialog offers them.
bool inRange(int value, int minimum, int maximum)
{
    return value >= minimum && value <= maximum;
}

} // namespace

bool chooseContext(Embedding& embedding)
{
    const gl::Choice choice = gl::chooseFromEnvironment();
    if (!choice.kind) {
        std::cerr << "orvane: " << choice.error << "\n";
        return false;
    }
    if (*choice.kind == gl::ContextKind::X11)
        return true;
    if (const std::string why = view::EglWindow::displayError(); !why.empty()) {
        const char* asked = std::getenv("ORVANE_GL");
        std::cerr << "orvane: "
                  << (asked && *asked ? "ORVANE_GL=egl, but " : "DISPLAY is not set and ") << why
                  << "\n";
        return false;
    }
    embedding = Embedding::Headless;
    std::cout << "Drawing without a display: " << view::EglWindow::description() << std::endl;
    return true;
}

bool requested(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], OPTION) == 0)
            return true;
    return false;
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
           "         [--fps N] [--size WIDTHxHEIGHT] [--speed S] [--from T0] [--to T1]\n";
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
    std::vector<std::string> files;
    bool seen = false;
    auto fail = [&](const std::string& why) {
        parsed.error = why;
        return parsed;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == OPTION) {
            seen = true;
            continue;
        }
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size())
            return fail(argument + " needs a value");
        const std::string& value = arguments[++i];
        int integer = 0;
        double number = 0;
        if (argument == "--preset") {
            options.preset = value;
        } else if (argument == "--codec") {
            options.codec = value;
        } else if (argument == "--bitrate") {
            if (!readInteger(value, integer) || !inRange(integer, 10, 100000))
                return fail("--bitrate takes a whole number of kBit/s from 10 to 100000, not \"" +
                            value + "\"");
            options.bitrate = integer;
        } else if (argument == "--fps") {
            if (!readInteger(value, integer) || !inRange(integer, 1, 1000))
                return fail("--fps takes a whole number from 1 to 1000, not \"" + value + "\"");
            options.frameRate = integer;
        } else if (argument == "--size") {
            const std::size_t x = value.find('x');
            int width = 0, height = 0;
            if (x == std::string::npos || !readInteger(value.substr(0, x), width) ||
                !readInteger(value.substr(x + 1), height) || !inRange(width, 10, 5000) ||
                !inRange(height, 10, 5000))
                return fail("--size takes WIDTHxHEIGHT, each from 10 to 5000, not \"" + value +
                            "\"");
            options.width = width;
            options.height = height;
        } else if (argument == "--speed") {
            if (!readNumber(value, number) || number < 0.0001 || number > 10000)
                return fail("--speed takes a number from 0.0001 to 10000, not \"" + value + "\"");
            options.speed = number;
        } else if (argument == "--from" || argument == "--to") {
            if (!readNumber(value, number) || number < 0)
                return fail(argument + " takes a time in seconds, not \"" + value + "\"");
            (argument == "--from" ? options.from : options.to) = number;
        } else {
            return fail("unknown option " + argument);
        }
    }
    if (!seen)
        return fail(std::string("no ") + OPTION);
    if (files.size() != 2)
        return fail(std::string(OPTION) + " takes a replay file and an output file, " +
                    std::to_string(files.size()) + " given");
    options.replay = files[0];
    options.output = files[1];
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
    const Parsed parsed = parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::cerr << "orvane: " << parsed.error << "\n" << usage();
        return 2;
    }
    Options options = *parsed.options;

    if (!chooseContext(embedding))
        return 1;
    ViewerManager::prepareProcess(embedding);
    QApplication application(argc, argv);
    programpaths::addDataDirectoriesToSearchPath();

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

    osg::ref_ptr<osgShadow::ShadowedScene> root = VisMainWindow::createSceneRoot();
    if (settings::flagSetting(store, settings::SettingKey::Shadows))
        root->setShadowTechnique(createSceneShadows().get());
    ObjectFactory factory;
    registerObjectKinds(factory);
    ProgramServices program;
    video::ReplayExportHost host(root.get(), factory, embedding, program.services());
    if (const std::string error = host.loadReplay(QString::fromStdString(options.replay));
        !error.empty()) {
        std::cerr << "orvane: " << error << "\n";
        return 1;
    }
    const ReplayManager& replay = *host.objects().replay();

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
    parameters.fileName = options.output;
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
        return 1;
    }
    std::cout << "Wrote " << result.frames << " frames to " << options.output << std::endl;
    return 0;
}

} // namespace exportvideo
