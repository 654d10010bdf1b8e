// request_results.h - the fixed result strings a signing request hands back to the page's script.
#pragma once

// Beside these a request returns the Base64 signature, or the empty string when its dialog
// could not be created. The dialog leaves the first two in m_strResult; the request adds the third.
inline constexpr char kResultUserCancel[] = "error:userCancel";
inline constexpr char kResultInternalError[] = "error:internalError";
inline constexpr char kResultNoMatchingCert[] = "error:noMatchingCert";
