#include "app/SettingDlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <cmath>

#include "log/Log.h"
#include "settings/Settings.h"

namespace {

using settings::SettingKey;

// "HardwareAcceleration/extension"
enum Extension
{
    CPU = 0,
    OPENCL = 1,
    CUDA = 2,
};

constexpr SettingKey kPositionKeys[3] = {
    SettingKey::StandardPositionX, SettingKey::StandardPositionY, SettingKey::StandardPositionZ};
constexpr const char* kAxisLabels[3] = {"x: ", "y: ", "z: "};

QSpinBox* spinBox(int minimum, int maximum, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    return box;
}

void storeExtension(Extension extension)
{
    QSettings store = settings::openSettings();
    settings::setSettingValue(store, SettingKey::HardwareAcceleration, int(extension));
    store.sync();
}

} // namespace

SettingDlg::SettingDlg(QWidget* parent, dynlib::GpuLibraryNames gpuLibraries)
    : QDialog(parent), _gpuLibraries(std::move(gpuLibraries))
{
    setWindowIcon(QIcon(":/Resources/shapes.png"));
    setWindowTitle("Pellam Orvane - Settings");
    buildLayout();
    setFixedSize(WIDTH, HEIGHT);

    connect(_okButton, &QPushButton::clicked, this, &SettingDlg::saveSettings);
    connect(_cancelButton, &QPushButton::clicked, this, &SettingDlg::reject);
    connect(_browseButton, &QPushButton::clicked, this, &SettingDlg::browseDir);
    connect(_colourButton, &QPushButton::clicked, this, &SettingDlg::changeColor);
    for (QRadioButton* button : {_cpuButton, _cudaButton, _openCLButton})
        connect(button, &QRadioButton::clicked, this, &SettingDlg::changeHardwareExtension);

    loadSettings();
}

void SettingDlg::buildLayout()
{
    auto* grid = new QGridLayout;
    int row = 0;

    _portField = spinBox(0, 65535, this);
    grid->addWidget(new QLabel("TCP port:", this), row, 0);
    grid->addWidget(_portField, row++, 1);

    _searchPathField = new QLineEdit(this);
    _browseButton = new QPushButton("...", this);
    _browseButton->setFixedSize(20, 20);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(_searchPathField);
    searchRow->addWidget(_browseButton);
    grid->addWidget(new QLabel("Additional search path for file objects:", this), row, 0);
    grid->addLayout(searchRow, row++, 1);

    _colourButton = new QPushButton("Change...", this);
    grid->addWidget(new QLabel("Standard Background Color", this), row, 0);
    grid->addWidget(_colourButton, row++, 1);

    auto* camera = new QGroupBox("Camera Properties", this);
    auto* cameraLayout = new QVBoxLayout(camera);
    _homeCheckBox = new QCheckBox("Recalculate camera home position after simulation", camera);
    cameraLayout->addWidget(_homeCheckBox);
    auto* positionRow = new QHBoxLayout;
    positionRow->addWidget(new QLabel("Standard camera home position: ", camera));
    auto* number = new QDoubleValidator(this);
    number->setLocale(QLocale::c()); // the readers take "." as the decimal point
    for (int axis = 0; axis < 3; ++axis) {
        _positionFields[axis] = new QLineEdit(camera);
        _positionFields[axis]->setValidator(number);
        positionRow->addWidget(new QLabel(kAxisLabels[axis], camera));
        positionRow->addWidget(_positionFields[axis]);
    }
    cameraLayout->addLayout(positionRow);
    grid->addWidget(camera, row++, 0, 1, 2);

    auto* spaceMouse = new QGroupBox("Space Mouse Properties", this);
    auto* spaceMouseLayout = new QGridLayout(spaceMouse);
    _spaceMouseCheckBox = new QCheckBox("Enable Space Mouse for moving the scene", spaceMouse);
    _movementSpeedField = spinBox(1, 1000, spaceMouse);
    _rotationSpeedField = spinBox(1, 1000, spaceMouse);
    spaceMouseLayout->addWidget(_spaceMouseCheckBox, 0, 0, 1, 2);
    spaceMouseLayout->addWidget(new QLabel("Space Mouse movement speed:", spaceMouse), 1, 0);
    spaceMouseLayout->addWidget(_movementSpeedField, 1, 1);
    spaceMouseLayout->addWidget(new QLabel("Space Mouse rotation speed:", spaceMouse), 2, 0);
    spaceMouseLayout->addWidget(_rotationSpeedField, 2, 1);
    grid->addWidget(spaceMouse, row++, 0, 1, 2);

    auto* extensionRow = new QHBoxLayout;
    extensionRow->addWidget(new QLabel("Flexible Shape calculation:       ", this));
    _cpuButton = new QRadioButton("CPU", this);
    _cudaButton = new QRadioButton("CUDA (NVidia only)", this);
    _openCLButton = new QRadioButton("OpenCL (beta)", this);
    extensionRow->addWidget(_cpuButton);
    extensionRow->addWidget(_cudaButton);
    extensionRow->addWidget(_openCLButton);

    auto* replayRow = new QHBoxLayout;
    _replayCheckBox =
        new QCheckBox("Disable replay file writing (for real-time simulations)", this);
    replayRow->addWidget(_replayCheckBox);

    auto* buttonRow = new QHBoxLayout;
    _okButton = new QPushButton("OK", this);
    _cancelButton = new QPushButton("Cancel", this);
    buttonRow->addStretch();
    buttonRow->addWidget(_okButton);
    buttonRow->addWidget(_cancelButton);

    // The fixed size holds every row at its natural height only with tighter
    // group boxes than the style's own.
    for (QLayout* group :
         {static_cast<QLayout*>(cameraLayout), static_cast<QLayout*>(spaceMouseLayout)})
        group->setContentsMargins(8, 4, 8, 4);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(9, 6, 9, 6);
    layout->addLayout(grid);
    layout->addLayout(extensionRow);
    layout->addLayout(replayRow);
    layout->addLayout(buttonRow);
}

void SettingDlg::loadSettings()
{
    const QSettings store = settings::openSettings();
    _portField->setValue(settings::mendedInteger(store, SettingKey::TcpPort));
    _homeCheckBox->setChecked(settings::mendedFlag(store, SettingKey::AutoCalculateHomePosition));
    for (int axis = 0; axis < 3; ++axis)
        _positionFields[axis]->setText(settings::textSetting(store, kPositionKeys[axis]));
    _spaceMouseCheckBox->setChecked(settings::mendedFlag(store, SettingKey::UseSpaceMouse));
    _searchPathField->setText(settings::textSetting(store, SettingKey::AddSearchDir));
    _replayCheckBox->setChecked(settings::mendedFlag(store, SettingKey::ReplayDisabled));

    switch (settings::mendedInteger(store, SettingKey::HardwareAcceleration)) {
    case OPENCL:
        _openCLButton->setChecked(true);
        break;
    case CUDA:
        _cudaButton->setChecked(true);
        break;
    default:
        _cpuButton->setChecked(true);
        break;
    }

    _colour = QColor(settings::mendedInteger(store, SettingKey::BackgroundRed),
                     settings::mendedInteger(store, SettingKey::BackgroundGreen),
                     settings::mendedInteger(store, SettingKey::BackgroundBlue));
    showColour();

    using settings::DefaultFor;
    _movementSpeedField->setValue(speedField(
        settings::mendedReal(store, SettingKey::SpaceMouseMovementSpeed, DefaultFor::Dialog),
        MOVEMENT_SPEED_UNITS));
    _rotationSpeedField->setValue(speedField(
        settings::mendedReal(store, SettingKey::SpaceMouseRotationSpeed, DefaultFor::Dialog),
        ROTATION_SPEED_UNITS));
}

int SettingDlg::port() const
{
    return _portField->value();
}

void SettingDlg::setPort(int port)
{
    _portField->setValue(port);
}

int SettingDlg::speedField(double speed, double units)
{
    // The whole units the speed holds. A stored n / units may fall a hair
    // below n on the way back; without the margin it would show as n - 1.
    const double field = std::floor(speed * units + 1e-6);
    return int(std::clamp(field, double(INT_MIN), double(INT_MAX)));
}

double SettingDlg::storedSpeed(int field, double units)
{
    // Divided rather than multiplied by the unit: 25 / 1e7 is the double
    // nearest to 2.5e-6, where 25 * 1e-7 is not.
    return field / units;
}

void SettingDlg::saveSettings()
{
    QSettings store = settings::openSettings();
    settings::setSettingValue(store, SettingKey::AddSearchDir, _searchPathField->text());

    settings::setSettingValue(store, SettingKey::AutoCalculateHomePosition,
                              int(_homeCheckBox->checkState()));
    for (int axis = 0; axis < 3; ++axis)
        settings::setSettingValue(store, kPositionKeys[axis], _positionFields[axis]->text());

    settings::setSettingValue(store, "Network/TCPPort", _portField->value());

    settings::setSettingValue(store, SettingKey::BackgroundRed, _colour.red());
    settings::setSettingValue(store, SettingKey::BackgroundGreen, _colour.green());
    settings::setSettingValue(store, SettingKey::BackgroundBlue, _colour.blue());

    settings::setSettingValue(store, SettingKey::ReplayDisabled,
                              int(_replayCheckBox->checkState()));

    settings::setSettingValue(store, SettingKey::SpaceMouseMovementSpeed,
                              storedSpeed(_movementSpeedField->value(), MOVEMENT_SPEED_UNITS));
    settings::setSettingValue(store, SettingKey::SpaceMouseRotationSpeed,
                              storedSpeed(_rotationSpeedField->value(), ROTATION_SPEED_UNITS));
    settings::setSettingValue(store, SettingKey::UseSpaceMouse,
                              int(_spaceMouseCheckBox->checkState()));

    store.sync();
    if (store.status() != QSettings::NoError) {
        // Nothing is lost: the dialog stays open with the user's values.
        QMessageBox::critical(this, "Settings not saved",
                              "The settings could not be written to " + store.fileName() + ".");
        return;
    }
    accept();
}

void SettingDlg::browseDir()
{
    const QString directory = QFileDialog::getExistingDirectory(
        this, "Select additional directory", QDir::currentPath(), QFileDialog::ShowDirsOnly);
    if (!directory.isEmpty())
        _searchPathField->setText(directory);
}

void SettingDlg::changeColor()
{
    const QColor chosen = QColorDialog::getColor(_colour, this);
    if (!chosen.isValid())
        return; // cancelled: the colour stays
    _colour = chosen;
    showColour();
}

void SettingDlg::showColour()
{
    _colourButton->setStyleSheet(
        QString("background-color: ") + "rgb(" + QString::number(_colour.red()) + "," +
        QString::number(_colour.green()) + "," + QString::number(_colour.blue()) + ");");
}

void SettingDlg::changeHardwareExtension(bool /*checked*/)
{
    if (_cpuButton->isChecked()) {
        dynlib::unloadOpenCL(_gpuLibraries);
        dynlib::unloadCuda(_gpuLibraries);
        storeExtension(CPU);
        return;
    }

    const bool cuda = _cudaButton->isChecked();
    dynlib::GpuLoadResult loaded;
    if (cuda) {
        dynlib::unloadOpenCL(_gpuLibraries);
        loaded = dynlib::loadCuda(_gpuLibraries);
    } else {
        dynlib::unloadCuda(_gpuLibraries);
        loaded = dynlib::loadOpenCL(_gpuLibraries);
    }
    if (loaded.loaded) {
        storeExtension(cuda ? CUDA : OPENCL);
        return;
    }

    console::writeLine(console::LEVEL_8, "[Settings] " + loaded.reason);
    // The processor is what is stored, so the dialog shows it too.
    _cpuButton->setChecked(true);
    storeExtension(CPU);
    QMessageBox::critical(this, "Error loading DLLs",
                          cuda ? "Error trying to initialize CUBLAS!"
                               : "Error trying to initialize OpenCL!");
}
