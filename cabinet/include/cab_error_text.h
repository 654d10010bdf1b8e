/* cab_error_text.h - the reader's error codes in words, for messages shown to a person. */
#ifndef CAB_ERROR_TEXT_H
#define CAB_ERROR_TEXT_H

#ifdef __cplusplus
extern "C" {
#endif

/* A short lower-case phrase for ERR_* `code` (1 to 11), e.g. "damaged cabinet"; "unknown error"
 * for any other value. The text is static and never null. */
const char *cab_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif
