#include "video/VideoGrabbingDlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

#include "replay/ReplayManager.h"
#include "scene/ObjectManager.h"
#include "settings/Settings.h"
#include "video/ExportChecks.h"
#include "video/ReplayVideoExport.h"
#include "video/VideoCodecs.h"
#include "video/VideoPresets.h"
#include "view/ViewerManager.h"

using namespace video;
using settings::SettingKey;

namespace {

QString qstr(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// trunc(seconds x 100) as a progress value, kept within the bar's integers.
int progressValue(double seconds)
{
    const double value = std::trunc(seconds * 100.0);
    if (!(value > double(INT_MIN)))
        return INT_MIN;
    return value < double(INT_MAX) ? int(value) : INT_MAX;
}

QWidget* pair(QWidget* parent, QWidget* first, const QString& between, QWidget* second,
              const QString& unit = {})
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(first, 1);
    if (!between.isEmpty())
        layout->addWidget(new QLabel(between, row));
    if (second)
        layout->addWidget(second, 1);
    if (!unit.isEmpty())
        layout->addWidget(new QLabel(unit, row));
    return row;
}

} // namespace

VideoGrabbingDlg::VideoGrabbingDlg(const VideoExportHost& host, QWidget* parent)
    : QDialog(parent), _host(host)
{
    buildWidgets();
    fillPresetList();

    const QSize view = _host.viewer ? _host.viewer->viewerPixelSize() : QSize(0, 0);
    _bitrate->setValue(
        QString(QString::number(view.width() * view.height() / 30000) + "00").toInt());
    _framerate->setValue(25);
    _gain->setValue(1);
    const ReplayManager* replay = _host.objects ? _host.objects->replay() : nullptr;
    _startTime->setValue(replay ? replay->firstTime() : 0.0);
    _endTime->setValue(replay ? replay->lastTime() : 0.0);
    _width->setValue(view.width());
    _height->setValue(view.height());

    const QSettings store = settings::openSettings();
    const int codec = settings::integerSetting(store, SettingKey::LastCodec);
    if (codec >= 0 && codec < _codecBox->count())
        _codecBox->setCurrentIndex(codec);

    connect(listWidget, &QListWidget::itemClicked, this, &VideoGrabbingDlg::selectPreset);
    connect(_savePreset, &QPushButton::clicked, this, &VideoGrabbingDlg::savePreset);
    connect(_deletePreset, &QPushButton::clicked, this, &VideoGrabbingDlg::deletePreset);
    connect(_browse, &QToolButton::clicked, this, &VideoGrabbingDlg::browseDir);
    connect(_convertVideo, &QPushButton::clicked, this, &VideoGrabbingDlg::go);
    connect(_close, &QPushButton::clicked, this, &VideoGrabbingDlg::close);
    connect(_width, &QSpinBox::textChanged, this, &VideoGrabbingDlg::changeWindowSize);
    connect(_height, &QSpinBox::textChanged, this, &VideoGrabbingDlg::changeWindowSize);
}

VideoGrabbingDlg::~VideoGrabbingDlg() = default;

void VideoGrabbingDlg::buildWidgets()
{
    setWindowTitle("Save Replay as video");
    resize(484, 373);

    listWidget = new QListWidget(this);
    listWidget->setObjectName("listWidget");
    listWidget->setMaximumWidth(170);

    _filename = new QLineEdit(this);
    _filename->setObjectName("_filename");
    _browse = new QToolButton(this);
    _browse->setObjectName("_browse");
    _browse->setText("...");

    _codecBox = new QComboBox(this);
    _codecBox->setObjectName("_codecBox");
    for (const VideoCodecEntry& entry : VIDEO_CODECS)
        _codecBox->addItem(qstr(entry.item));
    auto wholeBox = [this](const char* name, int minimum, int maximum) {
        auto* box = new QSpinBox(this);
        box->setObjectName(name);
        box->setRange(minimum, maximum);
        return box;
    };
    _bitrate = wholeBox("_bitrate", 10, 100000);
    _framerate = wholeBox("_framerate", 1, 1000);

    _gain = new QDoubleSpinBox(this);
    _gain->setObjectName("_gain");
    _gain->setDecimals(5);
    _gain->setRange(0.0001, 10000);
    // A range up to 1e100 would size the boxes for a hundred digits.
    auto timeBox = [this](const char* name) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(name);
        box->setDecimals(10);
        box->setRange(0, 1e100);
        box->setMinimumWidth(60);
        box->setMaximumWidth(130);
        return box;
    };
    _startTime = timeBox("_startTime");
    _endTime = timeBox("_endTime");
    _width = wholeBox("_width", 10, 5000);
    _height = wholeBox("_height", 10, 5000);

    _progress = new QProgressBar(this);
    _progress->setObjectName("_progress");
    _progress->setValue(0);
    _progress->setTextVisible(false);
    _progress->hide();
    _savePreset = new QPushButton("Save Preset", this);
    _savePreset->setObjectName("_savePreset");
    _deletePreset = new QPushButton("Delete Preset", this);
    _deletePreset->setObjectName("_deletePreset");
    _convertVideo = new QPushButton("Start conversion", this);
    _convertVideo->setObjectName("_convertVideo");
    _close = new QPushButton("Cancel", this);
    _close->setObjectName("_close");

    auto* codecGroup = new QGroupBox("Codec settings", this);
    auto* codecForm = new QFormLayout(codecGroup);
    codecForm->addRow(_codecBox);
    codecForm->addRow("Bitrate", pair(codecGroup, _bitrate, {}, nullptr, "kBit/s"));
    codecForm->addRow("Framerate", pair(codecGroup, _framerate, {}, nullptr, "frames / s"));

    auto* videoGroup = new QGroupBox("Video settings", this);
    auto* videoForm = new QFormLayout(videoGroup);
    videoForm->addRow("Replay Speed:", _gain);
    videoForm->addRow("Start/Stop Time:", pair(videoGroup, _startTime, "-", _endTime));
    videoForm->addRow("Video size:", pair(videoGroup, _width, "x", _height));

    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel("Video filename:", this));
    fileRow->addWidget(_filename, 1);
    fileRow->addWidget(_browse);

    auto* presetColumn = new QVBoxLayout;
    presetColumn->addWidget(listWidget, 1);
    presetColumn->addWidget(_savePreset);
    presetColumn->addWidget(_deletePreset);

    auto* settingsColumn = new QVBoxLayout;
    settingsColumn->addLayout(fileRow);
    settingsColumn->addWidget(codecGroup);
    settingsColumn->addWidget(videoGroup);
    settingsColumn->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addLayout(presetColumn);
    top->addLayout(settingsColumn, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(_progress, 1);
    buttons->addStretch(0);
    buttons->addWidget(_convertVideo);
    buttons->addWidget(_close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}

void VideoGrabbingDlg::fillPresetList()
{
    QSettings store = settings::openSettings();
    writeDefaultPresetsIfEmpty(store);
    listWidget->clear();
    for (const QString& name : presetNames(store)) {
        auto* item = new QListWidgetItem(name, listWidget);
        item->setToolTip(name);
    }
    auto* fresh = new QListWidgetItem(NEW_PRESET, listWidget);
    fresh->setFlags(fresh->flags() | Qt::ItemIsEditable);
}

QString VideoGrabbingDlg::codecText() const
{
    return _codecBox->currentText();
}

void VideoGrabbingDlg::warn(const QString& text)
{
    QMessageBox::warning(this, "Video Error", text);
}

bool VideoGrabbingDlg::confirm(const QString& question)
{
    return QMessageBox::question(this, "Confirmation", question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void VideoGrabbingDlg::selectPreset()
{
    QListWidgetItem* item = listWidget->currentItem();
    if (!item)
        return;
    if (listWidget->row(item) == listWidget->count() - 1) {
        listWidget->editItem(item);
        return;
    }
    QSettings store = settings::openSettings();
    const std::optional<VideoPreset> preset = loadPreset(store, item->text());
    if (!preset)
        return;
    const int codec = _codecBox->findText(preset->codec, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (codec >= 0)
        _codecBox->setCurrentIndex(codec);
    _bitrate->setValue(preset->bitrate.toInt());
    _framerate->setValue(preset->framerate.toInt());
    _width->setValue(preset->width.toInt());
    _height->setValue(preset->height.toInt());
}

void VideoGrabbingDlg::savePreset()
{
    QListWidgetItem* item = listWidget->currentItem();
    const QString name = item ? item->text() : QString(NEW_PRESET);
    if (name == NEW_PRESET) {
        warn("Please choose a new preset name.");
        return;
    }
    if (!validPresetName(name)) {
        warn("A preset name cannot be empty or contain \"/\" or \"\\\".");
        return;
    }
    if (!confirm("Overwrite Preset " + name + "?"))
        return;
    QSettings store = settings::openSettings();
    video::savePreset(store, {name, codecText(), _bitrate->text(), _framerate->text(),
                              _width->text(), _height->text()});
    // A new name given to the last item: it becomes a preset of the list and
    // a fresh "New Preset" item takes its place.
    if (listWidget->row(item) == listWidget->count() - 1) {
        QString current = name;
        fillPresetList();
        const QList<QListWidgetItem*> found = listWidget->findItems(current, Qt::MatchExactly);
        if (!found.isEmpty())
            listWidget->setCurrentItem(found.first());
    }
}

void VideoGrabbingDlg::deletePreset()
{
    QListWidgetItem* item = listWidget->currentItem();
    if (!item || item->text() == NEW_PRESET || listWidget->row(item) == listWidget->count() - 1)
        return;
    const QString name = item->text();
    if (!confirm("Delete Preset " + name + "?"))
        return;
    QSettings store = settings::openSettings();
    video::deletePreset(store, name);
    delete listWidget->takeItem(listWidget->row(item));
}

void VideoGrabbingDlg::browseDir()
{
    QSettings store = settings::openSettings();
    const int codec = std::max(0, _codecBox->currentIndex());
    const QString name = QFileDialog::getSaveFileName(
        this, "Enter Filename", settings::textSetting(store, SettingKey::LastVideoPath),
        qstr(VIDEO_CODECS[std::size_t(codec)].filter));
    _filename->setText(name);
    if (!name.isEmpty())
        settings::setSettingValue(store, SettingKey::LastVideoPath, QFileInfo(name).absolutePath());
}

void VideoGrabbingDlg::changeWindowSize(const QString&)
{
    if (!_host.window || !_host.viewer || !_host.viewer->viewerWidget())
        return;
    const QSize view = _host.viewer->viewerWidget()->size();
    _host.window->resize(_host.window->size() - view + QSize(_width->value(), _height->value()));
}

void VideoGrabbingDlg::go()
{
    {
        QSettings store = settings::openSettings();
        settings::setSettingValue(store, SettingKey::LastCodec, _codecBox->currentIndex());
    }
    if (_converting) {
        _converting = false;
        close();
        return;
    }
    const ReplayManager* replay = _host.objects ? _host.objects->replay() : nullptr;
    ExportRequest request;
    request.fileName = _filename->text();
    request.codecItem = codecText();
    request.start = _startTime->value();
    request.end = _endTime->value();
    // The replay's times as the time boxes show them, so that the range they
    // start with always passes.
    request.firstTime =
        _startTime->valueFromText(_startTime->textFromValue(replay ? replay->firstTime() : 0.0));
    request.lastTime =
        _endTime->valueFromText(_endTime->textFromValue(replay ? replay->lastTime() : 0.0));
    const QString failure = exportCheckFailure(request);
    if (!failure.isEmpty()) {
        warn(failure);
        return;
    }
    convert();
}

void VideoGrabbingDlg::setInputsEnabled(bool enabled)
{
    for (QWidget* input : std::initializer_list<QWidget*>{
             _close, _browse, _codecBox, _bitrate, _width, _height, _filename, _gain, _startTime,
             _endTime, _framerate, _savePreset, _deletePreset})
        input->setEnabled(enabled);
    const int last = listWidget->count() - 1;
    for (int row = 0; row <= last; ++row) {
        Qt::ItemFlags flags = Qt::NoItemFlags;
        if (enabled) {
            flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
            if (row == last)
                flags |= Qt::ItemIsEditable;
        }
        listWidget->item(row)->setFlags(flags);
    }
}

void VideoGrabbingDlg::convert()
{
    if (!_host.viewer || !_host.objects || !_host.clock)
        return;
    _converting = true;
    _convertVideo->setText("Stop conversion");
    _progress->reset();
    _progress->setTextVisible(true);
    _progress->setFormat("converting: %p%");
    _progress->show();

    ExportParameters parameters;
    parameters.fileName = QFile::encodeName(_filename->text()).toStdString();
    parameters.width = _width->value() + (_width->value() & 1);
    parameters.height = _height->value() + (_height->value() & 1);
    parameters.bitRate = _bitrate->value();
    parameters.frameRate = _framerate->value();
    const int codec = std::max(0, _codecBox->currentIndex());
    parameters.codec = codecFromNumber(VIDEO_CODECS[std::size_t(codec)].codecNumber);
    parameters.speed = _gain->value();
    parameters.start = _startTime->value();
    parameters.end = _endTime->value();

    setInputsEnabled(false);
    _progress->setRange(progressValue(parameters.start), progressValue(parameters.end));

    if (_host.holdUpdates)
        _host.holdUpdates(true);
    ReplayVideoExport conversion(*_host.viewer, *_host.objects, *_host.clock);
    const ExportResult result = conversion.run(parameters, [this](double time, std::int64_t) {
        _progress->setValue(progressValue(time));
        // Lets "Stop conversion" be pressed.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        return _converting;
    });
    if (_host.holdUpdates)
        _host.holdUpdates(false);

    _converting = false;
    _progress->hide();
    _progress->setValue(_progress->minimum());
    _progress->reset();
    _convertVideo->setText("Start conversion");
    setInputsEnabled(true);
    if (result.outcome == ExportResult::Failed) {
        // The dialog stays open so that the name or the settings can be
        // changed and the conversion started again.
        warn(QString::fromStdString(result.error));
        return;
    }
    _writtenFile = _filename->text();
    _writtenFrames = result.frames;
    close();
}

void VideoGrabbingDlg::reject()
{
    if (_converting) {
        _converting = false;
        return;
    }
    QDialog::reject();
}

void VideoGrabbingDlg::closeEvent(QCloseEvent* event)
{
    if (_converting) {
        // The conversion stops after its current frame and closes the
        // dialog itself.
        _converting = false;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
