// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's fixed measures, shared by the files that build and lay
// out the window.

namespace mainlayout {
constexpr int ToolBarHeight = 40;
constexpr int ToolButtonWidth = 132;
constexpr int StatusBarHeight = 19;
constexpr int SplitterHeight = 4;
constexpr int SplitterMinSize = 80;
} // namespace mainlayout
