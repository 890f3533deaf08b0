// The new files that writes fill beside the files they are to replace, from
// their creation until each is renamed over its path or removed. While one
// is pending, a hangup, interrupt or termination signal whose action is the
// default one removes it before it ends the process, so that a write cut
// short leaves nothing behind and the file it was to replace keeps its
// bytes. Signals the process handles or ignores are left as they are.
#ifndef VARNEL_PENDING_FILE_H
#define VARNEL_PENDING_FILE_H

// Makes a new file from pathTemplate, whose name ends in six X's that are
// replaced to make it unique (as mkstemp), and keeps it pending under that
// path, which must stay valid until the file is released. The descriptor,
// or -1 when the file cannot be made.
int fiCreatePendingFile(char* pathTemplate);
// The pending file at path has been renamed over the file it replaces: it
// is kept.
void fiReleasePendingFile(const char* path);
// Removes the pending file at path.
void fiRemovePendingFile(const char* path);

#endif
