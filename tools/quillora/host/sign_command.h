// sign_command.h - quillora signText, signHTML, signTextWithFilter and signHTMLWithFilter: one signing request from the command line.
#pragma once

#include <span>
#include <string>

namespace host {

// Exit codes of the signing commands, one per kind of result (beside kExitOk, kExitFailed and kExitUsage).
constexpr int kExitUserCancel = 2;      // "error:userCancel"
constexpr int kExitNoMatchingCert = 3;  // "error:noMatchingCert"
constexpr int kExitInternalError = 4;   // "error:internalError", with or without a text after it
constexpr int kExitNoDialog = 5;        // the empty result: the dialog could not be shown

int run_sign_text(std::span<const std::string> args);
int run_sign_html(std::span<const std::string> args);
int run_sign_text_with_filter(std::span<const std::string> args);
int run_sign_html_with_filter(std::span<const std::string> args);

}  // namespace host
