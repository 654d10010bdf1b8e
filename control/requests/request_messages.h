// request_messages.h - the texts and captions of the request flow's message boxes, as Windows-1252 bytes.
#pragma once

// "El text que signará conté comandes HTML\nno permeses en aquesta aplicació."
inline constexpr char kHtmlRefusedText[] =
    "El text que signar\341 cont\351 comandes HTML\nno permeses en aquesta aplicaci\363.";
// "No te cap certificat de signatura instal·lat."
inline constexpr char kNoCertificateInstalledText[] = "No te cap certificat de signatura instal\267lat.";
// "No s'ha trobat cap certificat vàlid per a realitzar la signatura."
inline constexpr char kNoValidCertificateText[] =
    "No s'ha trobat cap certificat v\340lid per a realitzar la signatura.";

inline constexpr char kErrorCaption[] = "Error";
inline constexpr char kInformationCaption[] = "Quillora";
