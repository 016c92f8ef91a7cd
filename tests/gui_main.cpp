// SPDX-License-Identifier: GPL-3.0-or-later
// Entry of the window tests: a private configuration folder per process, the
// offscreen platform unless another is asked for, then GoogleTest.

#include "GuiHelpers.h"
#include "mainwindow/Application.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv) {
  const auto config = PrepareGuiTestEnvironment();
  QApplication app(argc, argv);
  SetUpApplication();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
