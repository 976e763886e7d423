#include "app/ExportSupport.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include <osgShadow/ShadowedScene>

#include "app/ObjectRegistry.h"
#include "app/SceneShadows.h"
#include "app/VisMainWindow.h"
#include "files/ProgramPaths.h"
#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "video/ReplayExportHost.h"
#include "view/EglWindow.h"
#include "view/GlChoice.h"

#include <unistd.h>

namespace exportsupport {

bool hasArgument(int argc, char** argv, const char* argument)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], argument) == 0)
            return true;
    return false;
}

bool readNumber(const std::string& text, double& value)
{
    std::istringstream in(text);
    in >> value;
    return !in.fail() && in.eof() && std::isfinite(value);
}

namespace {

// A whole number from `lowest` to `highest`, the whole text.
bool readWholeNumber(const std::string& text, double lowest, double highest, int& value)
{
    double number = 0;
    if (!readNumber(text, number) || number != std::floor(number) || number < lowest ||
        number > highest)
        return false;
    value = int(number);
    return true;
}

} // namespace

bool readInteger(const std::string& text, int& value)
{
    return readWholeNumber(text, 1, 1e6, value);
}

bool readSize(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    return x != std::string::npos && readInteger(text.substr(0, x), width) &&
           readInteger(text.substr(x + 1), height) && width >= 10 && width <= 5000 &&
           height >= 10 && height <= 5000;
}

namespace {

// Object numbers: whole numbers from 0.
bool readObjectNumber(const std::string& text, int& value)
{
    return readWholeNumber(text, 0, 1e9, value);
}

// "x,y,z,..." of `count` numbers.
bool readNumbers(const std::string& text, std::vector<double>& values)
{
    values.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        double value = 0;
        if (!readNumber(text.substr(start, comma - start), value))
            return false;
        values.push_back(value);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

} // namespace

std::optional<std::string> readCameraOption(const std::string& name, const std::string& value,
                                            video::CameraChoice& camera)
{
    int number = 0;
    if (name == "--view" || name == "--follow") {
        if (!readObjectNumber(value, number))
            return name + " takes an object number, not \"" + value + "\"";
        (name == "--view" ? camera.view : camera.follow) = number;
    } else if (name == "--camera") {
        std::vector<double> v;
        if (!readNumbers(value, v) || (v.size() != 6 && v.size() != 9))
            return "--camera takes ex,ey,ez,cx,cy,cz or ex,ey,ez,cx,cy,cz,ux,uy,uz, not \"" +
                   value + "\"";
        video::LookAt look{{v[0], v[1], v[2]}, {v[3], v[4], v[5]}};
        if (v.size() == 9)
            look.up = osg::Vec3d(v[6], v[7], v[8]);
        const osg::Vec3d direction = look.centre - look.eye;
        if (direction.length() == 0.0)
            return "--camera: the eye and the centre are the same point";
        if ((direction ^ look.up).length() <= 1e-9 * direction.length() * look.up.length())
            return "--camera: the up direction is zero or along the line of sight";
        camera.fixed = look;
    } else {
        return std::nullopt;
    }
    if (camera.view && camera.fixed)
        return std::string("--view and --camera both choose the camera: give one");
    return std::string();
}

std::string cameraUsage()
{
    return "         [--view N | --camera ex,ey,ez,cx,cy,cz[,ux,uy,uz]] [--follow OBJ]\n";
}

std::string readArguments(
    const std::vector<std::string>& arguments, const char* option, CommonOptions& common,
    const std::function<std::string(const std::string& name, const std::string& value)>& take)
{
    std::vector<std::string> files;
    bool seen = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == option) {
            seen = true;
            continue;
        }
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size())
            return argument + " needs a value";
        const std::string& value = arguments[++i];
        const std::optional<std::string> camera = readCameraOption(argument, value, common.camera);
        if (std::string why = camera ? *camera : take(argument, value); !why.empty())
            return why;
    }
    if (!seen)
        return std::string("no ") + option;
    if (files.size() != 2)
        return std::string(option) + " takes a replay file and an output file, " +
               std::to_string(files.size()) + " given";
    common.replay = files[0];
    common.output = files[1];
    return {};
}

bool chooseContext(Embedding& embedding)
{
    const gl::Choice choice = gl::chooseFromEnvironment();
    if (!choice.kind) {
        std::cerr << "orvane: " << choice.error << "\n";
        return false;
    }
    if (*choice.kind == gl::ContextKind::X11)
        return true;
    // A small context made and dropped at once: EGL that cannot draw is
    // said before anything else starts, and the line below can name the
    // renderer.
    osg::ref_ptr<view::EglWindow> probe = new view::EglWindow(16, 16);
    if (!probe->created() || !probe->realize()) {
        const char* asked = std::getenv("ORVANE_GL");
        std::cerr << "orvane: "
                  << (asked && *asked ? "ORVANE_GL=egl, but " : "DISPLAY is not set and ")
                  << probe->creationError() << "\n";
        return false;
    }
    probe->close();
    embedding = Embedding::Headless;
    std::cout << "Drawing without a display: " << view::EglWindow::description() << std::endl;
    return true;
}

std::unique_ptr<QApplication> startApplication(int& argc, char** argv, Embedding& embedding)
{
    if (!chooseContext(embedding))
        return nullptr;
    ViewerManager::prepareProcess(embedding);
    auto application = std::make_unique<QApplication>(argc, argv);
    programpaths::addDataDirectoriesToSearchPath();
    return application;
}

ExportScene::ExportScene(Embedding embedding, const QSettings& store)
    : _root(VisMainWindow::createSceneRoot())
{
    if (settings::flagSetting(store, settings::SettingKey::Shadows))
        _root->setShadowTechnique(createSceneShadows().get());
    registerObjectKinds(_factory);
    _host = std::make_unique<video::ReplayExportHost>(_root.get(), _factory, embedding,
                                                      _program.services());
}

ExportScene::~ExportScene() = default;

std::string ExportScene::loadReplay(const std::string& path)
{
    return _host->loadReplay(QString::fromStdString(path));
}

StagedOutput::StagedOutput(const std::string& output) : _output(output)
{
    const QFileInfo file(QString::fromStdString(output));
    const QString suffix = file.suffix().isEmpty() ? QString() : "." + file.suffix();
    _staged = file.dir()
                  .filePath("." + file.completeBaseName() + ".orvane-" +
                            QString::number(::getpid()) + ".part" + suffix)
                  .toStdString();
}

StagedOutput::~StagedOutput()
{
    if (!_committed)
        std::remove(_staged.c_str());
}

std::string StagedOutput::checkWritable() const
{
    std::FILE* probe = std::fopen(_staged.c_str(), "wb");
    if (!probe)
        return "could not write to file: '" + _output + "' (" + std::strerror(errno) + ")";
    std::fclose(probe);
    return {};
}

std::string StagedOutput::commit()
{
    if (std::rename(_staged.c_str(), _output.c_str()) != 0)
        return "could not write to file: '" + _output + "' (" + std::strerror(errno) + ")";
    _committed = true;
    return {};
}

bool ExportJob::open(const std::string& replay, Embedding embedding, const QSettings& store)
{
    if (const std::string why = _staged.checkWritable(); !why.empty()) {
        std::cerr << "orvane: " << why << "\n";
        return false;
    }
    _scene = std::make_unique<ExportScene>(embedding, store);
    if (const std::string error = _scene->loadReplay(replay); !error.empty()) {
        std::cerr << "orvane: " << error << "\n";
        return false;
    }
    return true;
}

const ReplayManager& ExportJob::replay()
{
    return *host().objects().replay();
}

bool ExportJob::commit()
{
    if (const std::string why = _staged.commit(); !why.empty()) {
        std::cerr << "orvane: " << why << "\n";
        return false;
    }
    return true;
}

} // namespace exportsupport
