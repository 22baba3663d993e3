// Byte searches over paths and titles, a machine word at a time. The player
// asks for a title for every playlist entry, and the platform's own calls
// for these run inside exception frames, which cost more than the work.
#pragma once

#include <stddef.h>

// The end of a NUL-terminated text: the address of its NUL.
const char *EndOf(const char *text);

// The start of the text after the last `byte` in [from, end), every byte
// taken alone, or `from` when there is none.
const char *AfterLast(const char *from, const char *end, char byte);
