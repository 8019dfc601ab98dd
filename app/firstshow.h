#pragma once

#include <functional>

class QWidget;

namespace kesta::startup {

// Runs `action` once, from the event loop, as soon as the shown top-level `window` has first
// been put on screen and painted. Call it after window->show().
void whenFirstShown(QWidget *window, std::function<void()> action);

} // namespace kesta::startup
