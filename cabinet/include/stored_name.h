// stored_name.h - deciding whether a name stored in a cabinet stays inside the destination folder.
#pragma once

// False for an empty name, an absolute one ("\x" or "/x"), a drive-qualified one ("c:x"), and
// one with a ".." part between separators ("\" or "/").
bool is_contained_name(const char *name);
