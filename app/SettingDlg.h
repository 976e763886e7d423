#pragma once
// The settings dialog: the port, the additional search path for model files,
// the views' background colour, the camera's home position, the 3D mouse,
// the back-end of the flexible bodies and the replay recording.
//
// The dialog fills its fields from the settings store when it is made and
// writes them back on OK (saveSettings). The back-end choice is different: a
// click on its radio buttons loads the GPU libraries at once and stores the
// choice straight away, so Cancel does not undo it. Choosing a back-end whose
// library or device is missing shows an error box and stores the processor.
//
// The 3D-mouse speeds are shown as whole numbers: the movement speed in units
// of 1e-7, the rotation speed in units of 1e-8.
//
// Threading: GUI thread only; made for one modal use.

#include <QColor>
#include <QDialog>

#include "dynlib/GpuLibraries.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class SettingDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int WIDTH = 500;
    static constexpr int HEIGHT = 380;
    // The field units of the 3D-mouse speeds, as divisors of the stored value.
    static constexpr double MOVEMENT_SPEED_UNITS = 1e7;
    static constexpr double ROTATION_SPEED_UNITS = 1e8;

    explicit SettingDlg(QWidget* parent = nullptr,
                        dynlib::GpuLibraryNames gpuLibraries = dynlib::GpuLibraryNames::standard());

    int port() const;
    void setPort(int port);
    QColor colour() const { return _colour; }

    QSpinBox* portField() const { return _portField; }
    QLineEdit* searchPathField() const { return _searchPathField; }
    QPushButton* browseButton() const { return _browseButton; }
    QPushButton* colourButton() const { return _colourButton; }
    QCheckBox* homeCheckBox() const { return _homeCheckBox; }
    QLineEdit* positionField(int axis) const { return _positionFields[axis]; }
    QRadioButton* cpuButton() const { return _cpuButton; }
    QRadioButton* cudaButton() const { return _cudaButton; }
    QRadioButton* openCLButton() const { return _openCLButton; }
    QCheckBox* replayCheckBox() const { return _replayCheckBox; }
    QCheckBox* spaceMouseCheckBox() const { return _spaceMouseCheckBox; }
    QSpinBox* movementSpeedField() const { return _movementSpeedField; }
    QSpinBox* rotationSpeedField() const { return _rotationSpeedField; }
    QPushButton* okButton() const { return _okButton; }
    QPushButton* cancelButton() const { return _cancelButton; }

    // A stored speed as the field shows it, and a field's value as stored.
    static int speedField(double speed, double units);
    static double storedSpeed(int field, double units);

public slots:
    // Writes every field to the store, flushes it and accepts the dialog.
    void saveSettings();
    void browseDir();
    void changeColor();
    // Loads the libraries of the back-end whose button is now checked and
    // stores the choice.
    void changeHardwareExtension(bool checked);

private:
    void buildLayout();
    void loadSettings();
    void showColour();

    const dynlib::GpuLibraryNames _gpuLibraries;
    QColor _colour;

    QSpinBox* _portField = nullptr;
    QLineEdit* _searchPathField = nullptr;
    QPushButton* _browseButton = nullptr;
    QPushButton* _colourButton = nullptr;
    QCheckBox* _homeCheckBox = nullptr;
    QLineEdit* _positionFields[3] = {};
    QRadioButton* _cpuButton = nullptr;
    QRadioButton* _cudaButton = nullptr;
    QRadioButton* _openCLButton = nullptr;
    QCheckBox* _replayCheckBox = nullptr;
    QCheckBox* _spaceMouseCheckBox = nullptr;
    QSpinBox* _movementSpeedField = nullptr;
    QSpinBox* _rotationSpeedField = nullptr;
    QPushButton* _okButton = nullptr;
    QPushButton* _cancelButton = nullptr;
};
