// The menu table against what ships with it: the painted icons, the help
// page next to the program and the shortcuts.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QKeySequence>
#include <QString>
#include <QStringList>

#include <map>
#include <set>
#include <string>

#include "app/MenuTable.h"
#include "app/ObjectRegistry.h"
#include "scene/ObjectKinds.h"

namespace {

QString qstr(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The entry text as a user reads it: without the mnemonic marker.
QString plainText(const MenuEntry& entry)
{
    return qstr(entry.text).remove('&');
}

QString helpPage()
{
    QFile file(ORVANE_HELP_PAGE);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << ORVANE_HELP_PAGE;
    return QString::fromUtf8(file.readAll());
}

TEST(Icons, EveryIconOfTheTableIsAPaintedImage)
{
    std::map<std::string, QImage> icons;
    for (const MenuEntry& entry : MENU_ENTRIES) {
        if (entry.icon.empty())
            continue;
        QImage image(qstr(entry.icon));
        ASSERT_FALSE(image.isNull()) << entry.icon;
        EXPECT_EQ(image.size(), QSize(32, 32)) << entry.icon;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        // Something is drawn, and not just a filled square.
        EXPECT_GT(opaque, 40) << entry.icon;
        EXPECT_LT(opaque, 32 * 32 - 40) << entry.icon;
        icons[std::string(entry.icon)] = image;
    }
    // Entries with different icon names show different pictures.
    for (auto a = icons.begin(); a != icons.end(); ++a)
        for (auto b = std::next(a); b != icons.end(); ++b)
            EXPECT_NE(a->second, b->second) << a->first << " and " << b->first;
}

TEST(Icons, WindowIconAndPauseIconExist)
{
    // Not in the menu table: the window's icon and the Run action's second face.
    for (const char* path : {":/Resources/shapes.png", ":/Resources/pause.png"}) {
        const QImage image(path);
        EXPECT_FALSE(image.isNull()) << path;
    }
    EXPECT_NE(QImage(":/Resources/pause.png"), QImage(":/Resources/play.png"));
}

TEST(Shortcuts, ParseAndDoNotCollide)
{
    std::set<QKeySequence> seen;
    for (const MenuEntry& entry : MENU_ENTRIES) {
        if (entry.shortcut.empty())
            continue;
        const QKeySequence sequence(qstr(entry.shortcut));
        ASSERT_EQ(sequence.count(), 1) << entry.shortcut;
        EXPECT_NE(sequence[0].key(), Qt::Key_unknown) << entry.shortcut;
        EXPECT_TRUE(seen.insert(sequence).second) << "shortcut used twice: " << entry.shortcut;
    }
    // Escape belongs to leaving full screen.
    EXPECT_FALSE(seen.count(QKeySequence(Qt::Key_Escape)));
}

TEST(Shortcuts, LeaveTheKeysOfThe3DViewAndItsConsoleAlone)
{
    std::set<QKeySequence> viewKeys;
    for (std::string_view key : VIEW_KEYS) {
        const QKeySequence sequence(qstr(key));
        ASSERT_EQ(sequence.count(), 1) << key;
        viewKeys.insert(sequence);
    }
    for (const MenuEntry& entry : MENU_ENTRIES) {
        if (entry.shortcut.empty())
            continue;
        const QKeySequence sequence(qstr(entry.shortcut));
        EXPECT_FALSE(viewKeys.count(sequence)) << entry.shortcut << " is a key of the 3D view";
        // A shortcut wins over the focused widget, so a plain printable key
        // would never reach the console's prompt.
        const QKeyCombination key = sequence[0];
        const bool printable = key.key() >= Qt::Key_Space && key.key() <= Qt::Key_AsciiTilde;
        const bool modified =
            (key.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0;
        EXPECT_TRUE(modified || !printable) << entry.shortcut << " would take a typed key";
    }
}

TEST(HelpPage, DocumentsEveryEntryWithItsShortcut)
{
    const QString page = helpPage();
    ASSERT_FALSE(page.isEmpty());
    for (const MenuEntry& entry : MENU_ENTRIES) {
        EXPECT_TRUE(page.contains(">" + plainText(entry) + "<"))
            << "the help page has no entry for " << entry.text;
        if (!entry.shortcut.empty()) {
            EXPECT_TRUE(page.contains("<kbd>" + qstr(entry.shortcut) + "</kbd>"))
                << "the help page does not name the shortcut of " << entry.text;
        }
        QString tip = qstr(entry.statusTip);
        if (tip.endsWith('.'))
            tip.chop(1);
        if (!tip.isEmpty()) {
            EXPECT_TRUE(page.contains(tip)) << "the help page does not explain " << entry.text;
        }
    }
}

TEST(HelpPage, ShowsTheMinimalSimulationAsTheRepositoryHasIt)
{
    // The page's example is the file the build compiles and the tests run,
    // with the command that builds it on its own.
    QFile file(ORVANE_MINIMAL_EXAMPLE_SOURCE);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << ORVANE_MINIMAL_EXAMPLE_SOURCE;
    const QString source = QString::fromUtf8(file.readAll());
    QString escaped = source;
    escaped.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    const QString page = helpPage();
    EXPECT_TRUE(page.contains("<pre><code>" + escaped + "</code></pre>"))
        << "the help page's minimal simulation differs from client/examples/minimal.cpp";
    const QString command = "c++ -std=c++20 -I. client/examples/minimal.cpp -o minimal "
                            "build/client/liborvane_client.a build/gnp2/liborvane_gnp2.a -pthread";
    EXPECT_TRUE(page.contains(command));
    // The file names the same command, over two comment lines.
    EXPECT_TRUE(source.contains("//   c++ -std=c++20 -I. client/examples/minimal.cpp -o minimal\n"
                                "//       build/client/liborvane_client.a "
                                "build/gnp2/liborvane_gnp2.a -pthread\n"));
    EXPECT_LE(source.count('\n'), 50) << "no longer minimal";
}

TEST(HelpPage, DocumentsTheSettingsAndTheStatusTexts)
{
    const QString page = helpPage();
    for (const char* text : {"Network/TcpPort",
                             "WindowProperties/Geometry/X",
                             "WindowProperties/Fullscreen",
                             "Rendering/Shadows",
                             "Ruskel/noClip",
                             "StandardBackGroundColor/Red",
                             "-tcp",
                             "Status: Offline",
                             "Status: Online",
                             "Status: Replay",
                             "<kbd>F10</kbd>",
                             "<kbd>Esc</kbd>",
                             "Orvane.ini",
                             "Replay/askToSaveOnExit",
                             "<kbd>Space</kbd>",
                             "<kbd>F9</kbd>",
                             "--help",
                             "--version",
                             "Waiting for a simulation on port",
                             "setIntVector",
                             "setFloatVector"})
        EXPECT_TRUE(page.contains(text)) << text;
}

TEST(HelpPage, InternalLinksLeadToAnchors)
{
    const QString page = helpPage();
    qsizetype at = 0;
    int links = 0;
    while ((at = page.indexOf("href=\"#", at)) >= 0) {
        at += 7;
        const QString anchor = page.mid(at, page.indexOf('"', at) - at);
        EXPECT_TRUE(page.contains("id=\"" + anchor + "\""))
            << "dangling link #" << anchor.toStdString();
        ++links;
    }
    EXPECT_GT(links, 10);
}

TEST(HelpPage, LinksASectionForExactlyTheObjectKindsTheProgramCreates)
{
    // The objects table links the type codes that have a section; a kind the
    // program builds must have one, and a kind it does not build must not
    // promise anything.
    const QString page = helpPage();
    ObjectFactory factory;
    registerObjectKinds(factory);
    int documented = 0;
    for (int code = MIN_TYPE_CODE + 1; code <= MAX_TYPE_CODE; ++code) {
        const bool linked = page.contains(QString("<tr><td>%1</td><td><a href=\"#").arg(code));
        EXPECT_EQ(linked, factory.has(code)) << "type code " << code;
        documented += linked ? 1 : 0;
    }
    EXPECT_GE(documented, 7);
}

TEST(HelpPage, EachAnchorIsDefinedOnce)
{
    // A section written twice leaves one of its copies unreachable and the
    // two drifting apart.
    const QString page = helpPage();
    QStringList seen;
    qsizetype at = 0;
    while ((at = page.indexOf(" id=\"", at)) >= 0) {
        at += 5;
        const QString anchor = page.mid(at, page.indexOf('"', at) - at);
        EXPECT_FALSE(seen.contains(anchor)) << "anchor defined twice: " << anchor.toStdString();
        seen << anchor;
    }
    EXPECT_GT(seen.size(), 10);
}

} // namespace
