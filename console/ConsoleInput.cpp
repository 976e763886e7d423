#include "console/ConsoleInput.h"

#include "log/Log.h"

namespace console {

namespace {

bool isIgnoredKey(int key)
{
    switch (key) {
    case KEY_Tab:
    case KEY_Shift_L:
    case KEY_Shift_R:
    case KEY_Control_L:
    case KEY_Control_R:
    case KEY_Alt_L:
    case KEY_Alt_R:
        return true;
    default:
        return false;
    }
}

} // namespace

ConsoleInput::ConsoleInput(Log& log) : _log(log) {}

ConsoleInput::ConsoleInput() : ConsoleInput(Log::instance()) {}

void ConsoleInput::setCommandHandler(std::shared_ptr<CommandHandler> handler)
{
    _commandHandler = std::move(handler);
}

ConsoleInput::KeyResult ConsoleInput::keyDown(int key, const RowCounter& rowsOf)
{
    if (key == KEY_F10) {
        _visible = !_visible;
        return KeyResult::Toggled;
    }
    if (!_visible)
        return KeyResult::Ignored;

    switch (key) {
    case KEY_Page_Up:
        _log.changeScrollOffset([&](const std::vector<LogLine>& lines, int offset, int mask) {
            return scrolledUp(lines, offset, mask, rowsOf);
        });
        break;
    case KEY_Page_Down:
        _log.changeScrollOffset([](const std::vector<LogLine>&, int offset, int) {
            return offset > 0 ? offset - 1 : 0;
        });
        break;
    case KEY_BackSpace:
        if (!_input.empty())
            _input.pop_back();
        break;
    case KEY_Return:
        enter();
        break;
    default:
        // The prompt holds a narrow string drawn with a text font: printable
        // characters go in; function, cursor and other non-character keys are
        // swallowed rather than turned into stray bytes.
        if (!isIgnoredKey(key) && key >= 0x20 && key <= 0x7E)
            _input.push_back(static_cast<char>(key));
        break;
    }
    return KeyResult::Consumed;
}

void ConsoleInput::enter()
{
    if (_input.empty())
        return;
    const std::string command = std::move(_input);
    _input.clear();
    _log.writeLine(">> " + command);
    if (_commandHandler)
        _commandHandler->handle(command);
}

} // namespace console
