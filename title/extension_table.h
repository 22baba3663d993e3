// The extensions that the inner plug-in handles, read once from its
// FileExtensions list after its Init, so that titles can be compared and
// produced without them.
#pragma once

#include "proxy/proxy_state.h"
#include "title/extension_index.h"

// Reads the list (pairs of an extension list and a description, ended by an
// empty string; may be null) into the table. A failed allocation shows a box
// under the inner file's name and keeps the entries stored so far.
void BuildExtensionTable(const char *list);

// Frees the block and its heap and leaves the table empty.
void ReleaseExtensionTable(void);

// The two messages, in code page 932.
extern const char kAllocationFailedText[];
extern const char kGrowthFailedText[];
