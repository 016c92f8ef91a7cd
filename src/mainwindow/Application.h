// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's set-up and the creation and destruction of the
// program's windows, once each.

class QIcon;

// The program's icon, in every size it ships.
QIcon ProgramIcon();
// What the application needs before its first window: its name and icon,
// window titles exactly as the windows give them, and the toolkit's own
// dialogs kept from writing files of their own.
void SetUpApplication();

// Creates the main window and the dialogs, in this order: main window, frame
// editor, device selection, device information, device configuration,
// filters, About.
void CreateForms();
// Destroys them all; the main window last, which ends the connection.
void DestroyForms();
// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C in the terminal) close
// the window as Exit does: settings saved, a recording written whole, the
// adapter closed.
void CloseOnTerminationSignals();
