#pragma once
// The export dialog: a time range of the loaded replay as a video file, at
// a chosen size, frame rate, bit rate, codec and replay speed, with named
// presets of codec, bit rate, frame rate and size kept in the settings
// store. "Start conversion" checks the inputs, then runs the conversion
// (ReplayVideoExport) while the dialog stays responsive: the progress bar
// follows the replay time and the same button stops the conversion after
// the current frame. A failure of the encoder is shown in a "Video Error"
// warning; the program carries on. The dialog closes itself after a
// conversion.
//
// Threading: GUI thread only.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QToolButton;
class ObjectManager;
class ReplayClock;
class ViewerManager;

// What the dialog works on: the main window (resized so that the 3D view
// takes the video's size), its viewer, object manager and replay clock.
struct VideoExportHost
{
    QMainWindow* window = nullptr;
    ViewerManager* viewer = nullptr;
    ObjectManager* objects = nullptr;
    ReplayClock* clock = nullptr;
    // Stops (true) and restarts (false) the window's own replay updates and
    // drawing while a conversion runs; may be empty.
    std::function<void(bool)> holdUpdates;
};

class VideoGrabbingDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr const char* NEW_PRESET = "New Preset";

    explicit VideoGrabbingDlg(const VideoExportHost& host, QWidget* parent = nullptr);
    ~VideoGrabbingDlg() override;

    bool converting() const { return _converting; }
    // The video file the last conversion wrote (a stopped one included), and
    // its frames; empty when none was written.
    const QString& writtenFile() const { return _writtenFile; }
    std::int64_t writtenFrames() const { return _writtenFrames; }

public slots:
    void selectPreset();
    void savePreset();
    void deletePreset();
    void browseDir();
    void changeWindowSize(const QString& text);
    void go();
    // While converting: stops the conversion (which then closes the dialog).
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void fillPresetList();
    void setInputsEnabled(bool enabled);
    QString codecText() const;
    // Shows a warning titled "Video Error".
    void warn(const QString& text);
    bool confirm(const QString& question);
    // Runs the conversion with the checked inputs.
    void convert();

    VideoExportHost _host;
    bool _converting = false;
    QString _writtenFile;
    std::int64_t _writtenFrames = 0;

    QListWidget* listWidget = nullptr;
    QLineEdit* _filename = nullptr;
    QToolButton* _browse = nullptr;
    QComboBox* _codecBox = nullptr;
    QSpinBox* _bitrate = nullptr;
    QSpinBox* _framerate = nullptr;
    QDoubleSpinBox* _gain = nullptr;
    QDoubleSpinBox* _startTime = nullptr;
    QDoubleSpinBox* _endTime = nullptr;
    QSpinBox* _width = nullptr;
    QSpinBox* _height = nullptr;
    QProgressBar* _progress = nullptr;
    QPushButton* _savePreset = nullptr;
    QPushButton* _deletePreset = nullptr;
    QPushButton* _convertVideo = nullptr;
    QPushButton* _close = nullptr;
};
