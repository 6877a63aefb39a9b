#pragma once

namespace brenvo {

class AppDelegate;
class MainWindow;

// The window's menu bar: File, Edit, View and Help, each command with its
// keyboard shortcut where the desktop has a standard one.
void buildMenus(MainWindow& window, AppDelegate& app);

}  // namespace brenvo
