// Creating every missing directory along a path.
#pragma once

// Creates the missing directories of `path` from the outermost inwards.
// Backslash is the only separator; drive components ("C:", "C:x") are neither
// tested nor created; one leading backslash is kept (the current drive's
// root); the root of a network path ("\\server\share\") is neither tested
// nor created, only the components below it. Handles paths of up to
// 259 characters (a longer one is refused with -1; nothing is created).
// 0: every tested prefix is a directory now. -1: a prefix exists but is not a
// directory, or could not be created (directories made before stay).
int CreateDirectoryPath(const char* path);
