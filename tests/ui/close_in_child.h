#pragma once

// The two halves of a test that closes the main window during a conversion.
// Closing really ends the process, so the window runs in a child: the test
// program started again with a switch of its own and a folder.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "ui/frmMain.h"

namespace sievetext::testing {

// A whole file's bytes, or "<missing>" when it cannot be read.
QByteArray ReadAll(const QString& path);

// The child half: a window over in.html and out.txt in `folder`, with the
// settings in the folder's WexaSievetext.ini, loaded as at start-up, and every
// message printed on standard output as it comes (each question answered
// OK). The boxes named in `cleared` are cleared, `arm` sets up the closing,
// then cmdRemoveHTML is clicked. The closing ends the process; returning
// (with 3) means it did not.
int ConvertAndClose(const QString& folder, const QStringList& cleared,
                    const std::function<void(frmMain&)>& arm);

// The test half: writes "old output" to out.txt in `folder`, which holds the
// input, runs this program with `childSwitch folder`, and checks that the
// child ended normally with status 0 having said nothing but the overwrite
// question (so no "Done"), and that out.txt still holds "old output".
// Returns the settings file the child left.
QString CloseInChild(const char* childSwitch, const QString& folder, int timeoutMs);

}  // namespace sievetext::testing
