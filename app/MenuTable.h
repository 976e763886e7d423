#pragma once
// The main window's menu entries, in menu-bar order: one row per entry with
// its texts, icon, shortcut and status tip. Shortcuts keep off the keys the
// 3D view and its console use themselves (VIEW_KEYS). The window builds its menus from
// these rows; the help page documents every one of them (its test checks).
//
// Threading: constant data.

#include <array>
#include <string_view>

// What an entry does; the main window maps each command to its slot.
enum class MenuCommand
{
    OpenReplay,
    SaveReplay,
    Settings,
    ExportVideo,
    Screenshot,
    Exit,
    Run,
    Rewind,
    Reverse,
    Backstep,
    StepForward,
    Forward,
    RepeatReplay,
    Disconnect,
    Statusbar,
    Toolbar,
    FullScreen,
    StereoMode,
    WireframeMode,
    Shadows,
    OrthographicMode, // orvane-gl only
    Documentation,
    About,
    CameraHome, // orvane-gl only, on the replay toolbar
};
inline constexpr int MENU_COMMAND_COUNT = int(MenuCommand::CameraHome) + 1;

enum class Check
{
    None,      // not checkable
    Unchecked, // checkable, starts unchecked
    Checked,   // checkable, starts checked
};

// Which deliverable shows an entry.
enum class Deliverable
{
    Both,
    GLOnly,
};

struct MenuEntry
{
    MenuCommand command;
    std::string_view menu; // "&File", ...; empty: toolbar only
    std::string_view text;
    std::string_view icon;      // resource path, empty: none
    std::string_view shortcut;  // empty: none
    std::string_view statusTip; // empty: none
    Check check = Check::None;
    Deliverable deliverable = Deliverable::Both;
};

inline constexpr std::array<MenuEntry, MENU_COMMAND_COUNT> MENU_ENTRIES = {{
    {MenuCommand::OpenReplay, "&File", "Open Replay...", ":/Resources/folder_page_white.png", "",
     ""},
    {MenuCommand::SaveReplay, "&File", "Save Replay...", ":/Resources/folder_page_white.png", "",
     ""},
    {MenuCommand::Settings, "&File", "Settings...", "", "", ""},
    {MenuCommand::ExportVideo, "&File", "Export Replay as Video", "", "", ""},
    {MenuCommand::Screenshot, "&File", "Screenshot", "", "", ""},
    {MenuCommand::Exit, "&File", "E&xit", ":/Resources/cancel.png", "Ctrl+E",
     "Terminate the execution of Orvane."},
    {MenuCommand::Run, "&Replay", "Run", ":/Resources/play.png", "F3", "Runs the replay"},
    {MenuCommand::Rewind, "&Replay", "Rewind", ":/Resources/rewind.png", "Ctrl+Home",
     "Rewinds the replay to the beginning"},
    {MenuCommand::Reverse, "&Replay", "Reverse", ":/Resources/freverse.png", "Ctrl+Shift+Left",
     "Moves the replay backwards"},
    {MenuCommand::Backstep, "&Replay", "Backstep", ":/Resources/reverse.png", "Ctrl+Left",
     "Steps the replay backward"},
    {MenuCommand::StepForward, "&Replay", "Step forward", ":/Resources/forward.png", "Ctrl+Right",
     "Steps the replay forward"},
    {MenuCommand::Forward, "&Replay", "Forward", ":/Resources/fforward.png", "Ctrl+Shift+Right",
     "Moves the replay forward"},
    {MenuCommand::RepeatReplay, "&Replay", "Repeat Replay", ":/Resources/repeat.png", "",
     "Repeats the replay", Check::Unchecked},
    {MenuCommand::Disconnect, "&Replay", "Disconnect", "", "", ""},
    {MenuCommand::Statusbar, "&View", "Statusbar", "", "", "", Check::Checked},
    {MenuCommand::Toolbar, "&View", "Toolbar", "", "", "", Check::Checked},
    {MenuCommand::FullScreen, "&View", "Full Screen", "", "Ctrl+F", "", Check::Unchecked},
    {MenuCommand::StereoMode, "&View", "Stereo Mode", "", "Ctrl+S", "", Check::Unchecked},
    {MenuCommand::WireframeMode, "&View", "Wireframe Mode", "", "Ctrl+W", "", Check::Unchecked},
    {MenuCommand::Shadows, "&View", "Shadows", "", "Ctrl+L", "", Check::Unchecked},
    {MenuCommand::OrthographicMode, "&View", "Orthographic Mode", "", "Ctrl+O", "",
     Check::Unchecked, Deliverable::GLOnly},
    {MenuCommand::Documentation, "&Help", "Documentation", "", "", ""},
    {MenuCommand::About, "&Help", "About Orvane", "", "", ""},
    {MenuCommand::CameraHome, "", "Camera to home position", ":/Resources/camhome.png", "", "",
     Check::None, Deliverable::GLOnly},
}};

// Keys the 3D view handles itself, which no menu shortcut may take: the
// console (F10, Page Up, Page Down and every plain key while it is shown),
// the camera (Space: home; F9: the centre marker) and the statistics (s, S).
// Plain letters and Space as shortcuts would also be taken from the
// console's prompt.
inline constexpr std::array<std::string_view, 7> VIEW_KEYS = {"F9",    "F10", "PgUp",   "PgDown",
                                                              "Space", "S",   "Shift+S"};

// The row of a command.
constexpr const MenuEntry& menuEntry(MenuCommand command)
{
    return MENU_ENTRIES[std::size_t(command)];
}

// The rows are indexed by their command.
constexpr bool menuTableInCommandOrder()
{
    for (std::size_t i = 0; i < MENU_ENTRIES.size(); ++i)
        if (std::size_t(MENU_ENTRIES[i].command) != i)
            return false;
    return true;
}
static_assert(menuTableInCommandOrder(), "MENU_ENTRIES must list the commands in enum order");
