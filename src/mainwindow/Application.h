#pragma once
// Creation and destruction of the program's windows, once each.

// Creates the main window and the dialogs, in this order: main window, frame
// editor, device selection, device information, device configuration,
// filters, About.
void CreateForms();
// Destroys them all; the main window last, which ends the connection.
void DestroyForms();
