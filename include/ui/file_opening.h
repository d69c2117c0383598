// Opening files from the shell: where the file dialogs start, the load of a
// file the user asked for, and the question about unsaved edits before it.
#ifndef TESK_UI_FILE_OPENING_H
#define TESK_UI_FILE_OPENING_H

#include <string>

#include "ui/shell.h"

// Where a dialog opens: where the user was last, in a dialog or by opening
// a file; before that, the folder of the file shown or the working folder.
const char* DialogFolder(const CShellState& s);
// After a dialog's pass: the folder it shows, if it was drawn.
void NoteDialogFolder(CShellState& s, const FileChooser::Dialog& d);

// Loads a file the user asked for (format code `fmt` as for LoadStructure; a
// code of its own, not -1, becomes the input format). The names of the file
// shown follow only a successful load. With edits not saved, the file waits
// for UnsavedEditsQuestion's answer instead.
void OpenFile(CShellState& s, CDisplay& display, const std::string& dir, const std::string& path, int fmt);
// Once per pass: a volumetric file LoadStructure started is shown, and named
// as the file shown, once it is read; or the reason it could not be.
void FinishVolumeOpen(CShellState& s, CDisplay& display);
// Loads the file that waited, once the edits were saved or discarded.
void OpenPending(CShellState& s, CDisplay& display);
// The modal question, opened by OpenFile: Save (through Save As, after which
// the file waiting is opened), Discard or Cancel (also Esc).
void UnsavedEditsQuestion(CShellState& s, CDisplay& display);

#endif
