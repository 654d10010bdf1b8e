// uninstall_app.h - CUninstallApp, the uninstaller's application object: confirmation, the installation folder, the progress window.
#pragma once

#include "platform/framework/afx_app.h"
#include "platform/framework/afx_string.h"

// The program's exit status, which ExitInstance answers.
constexpr int kUninstallDone = 0;      // every step succeeded
constexpr int kUninstallFailed = 1;    // a step failed, or the installation could not be found or shown
constexpr int kUninstallDeclined = 2;  // the person answered No; nothing was changed

class CUninstallApp : public CWinApp {
 public:
  // Asks for confirmation, reads the installation folder and runs the progress window until the
  // person closes it. Answers FALSE on every path: the program ends when it returns.
  BOOL InitInstance() override;
  // The exit status of the last InitInstance.
  int ExitInstance() override;
  // What the window showed at its end (the log, then the verdict), for the program to leave on
  // its output once the window has gone; empty when no window ran.
  const CString &GetRecord() const { return m_strRecord; }

 private:
  int m_nExitCode = kUninstallFailed;
  CString m_strRecord;
};
