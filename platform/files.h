// Files of the device under a device root on the host.
//
// Device paths ("\SDMMC\TEVOLOG\2009\05\20090512.log",
// "NAND\QXAPP\Data\TEVOLOG.ini") are resolved under the device root: a
// leading backslash is dropped, backslashes separate components and each
// existing component is matched case-insensitively, as on the FAT card.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/unicode.h"

// Attribute words of directory entries.
constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;  // symbolic links and special files

// Chooses the device root (the --device-root option). Null or empty falls
// back to $TEVO_DEVICE_ROOT, then $XDG_DATA_HOME/tevo-logviewer/device
// (~/.local/share/tevo-logviewer/device).
void SetDeviceRoot(const char* hostDirectory);

// The device root in use, without a trailing slash.
std::string DeviceRoot();

// Host path of a device path. Existing components are matched
// case-insensitively; the rest are kept as written. ".." and "." components
// are refused so that no path leaves the root. Returns 0, or -1.
int ResolveDevicePath(const char* devicePath, std::string* hostPath);
int ResolveDevicePath(const char16_t* devicePath, std::string* hostPath);

// fopen of a device path; null when it cannot be resolved or opened. A
// reading mode ("r", "rb") opens as OpenReadableFile does.
FILE* OpenDeviceFile(const char* devicePath, const char* mode);

// Opens a host path for binary reading, for files that come from outside
// (logs, the map database, the settings file): the open never blocks (a
// named pipe or a device in its place does not wait for a writer) and only
// regular files are accepted. Null when the path is missing, unreadable or
// not a regular file; errno then tells why (EINVAL for a pipe, device or
// socket, EISDIR for a directory).
FILE* OpenReadableFile(const char* hostPath);
// For tests: `hook` runs on the opening thread with the host path before
// each OpenReadableFile (null: no hook), so that a test can hold a reader
// at a point it controls.
void SetReadableFileHook(void (*hook)(const char* hostPath));

// 1 when the host paths `a` and `b` name one existing file (the same device
// and inode, links followed, whatever the spelling), else 0. A tool that
// writes a file uses it to refuse an output that is one of its inputs.
int IsSameFile(const char* a, const char* b);

// Replaces the whole content of a device file so that it holds either its
// old or its new bytes, whatever stops the program or the machine: the bytes
// go to a temporary file beside it (its name + ".tmp", replacing one left by
// an earlier interrupted write), are flushed to the medium, and the
// temporary file is renamed over the old one. Returns 0, or -1 when the new
// content cannot be written completely (the old file is then left as it was
// and the temporary file removed).
int ReplaceDeviceFile(const char* devicePath, const char* bytes, size_t size);
// Whether nothing lies at a device path: 1 when the path certainly names no
// entry (it, or a folder on its way, does not exist), 0 when something is
// there or that cannot be told (a folder that may not be searched, a path
// that cannot be resolved). Lets a caller create a file without ever
// replacing one it merely could not read.
int IsDeviceEntryMissing(const char* devicePath);
// For tests: `hook` runs with the temporary file's host path once it is
// written and flushed, just before the rename (null: no hook).
void SetReplaceDeviceFileHook(void (*hook)(const char* temporaryHostPath));

// One entry of a directory search.
struct FindData {
  uint32_t attributes = 0;
  char16_t name[260] = {};
};

struct FindHandle;

// Starts a search over a wildcard pattern ("\SDMMC\TEVOLOG\*.*",
// "...\05\*.log"); '*' and '?' match case-insensitively and "*.*" matches
// every name. "." and ".." are never returned. Directories read as 0x10,
// names starting with "." add 0x02, entries without the owner's write permission add
// 0x01, symbolic links and special files add 0x400 (so they are never taken
// for plain directories); a plain file without other bits reads as 0x80.
// Returns null when the directory is missing or nothing matches. Close with FindClose.
FindHandle* FindFirstFile(const char16_t* pattern, FindData* data);
// Next matching entry: 1, or 0 when the search is exhausted.
int FindNextFile(FindHandle* handle, FindData* data);
// Ends a search; null is accepted.
void FindClose(FindHandle* handle);

// Folders for walks that delete. A walk starts at a folder named by a
// device path (links on the way to it are followed: it is where the card
// or the log tree lies) and goes down entry by entry through open folder
// descriptors: no link is followed below the start, nothing can be swapped
// in between looking at an entry and deleting it, and a folder of another
// mount (another file system or a bind mount) is never entered.
struct DeviceFolder;

// Opens the folder that `path` names (resolved as ResolveDevicePath does).
// Null when it is missing or not a folder. Close with CloseDeviceFolder.
DeviceFolder* OpenDeviceFolder(const char16_t* path);
// Opens the entry `name` of `parent` (one name, matched ignoring case) when
// it is a real folder on the same mount as the walk's start. Null for a
// link, a special file, a folder of another mount, a missing entry, or a
// name that is not a plain entry name ("", ".", "..", holding "/").
DeviceFolder* OpenDeviceSubfolder(const DeviceFolder* parent, const char16_t* name);
// Closes a folder; null is accepted.
void CloseDeviceFolder(DeviceFolder* folder);

// A search over a wildcard pattern ("*.*", "*.log") inside an open folder,
// with the attribute words of FindFirstFile. Null when nothing matches.
FindHandle* FindFirstFileIn(const DeviceFolder* folder, const char16_t* pattern, FindData* data);

// Deletes the entry `name` of `folder` (matched ignoring case) unless it is
// a folder; a link is removed itself, never its target. 1 on success, 0 on
// failure.
int DeleteFileIn(const DeviceFolder* folder, const char16_t* name);
// Removes the empty subfolder `name` of `folder`. 1 when removed, 0 when it
// still holds entries, -1 when it cannot be removed otherwise (a read-only
// card, a link or file under that name, a missing entry).
int RemoveFolderIn(const DeviceFolder* folder, const char16_t* name);

// Deletes the file `relativePath` ("2009\05\20090512.log") below the
// folder `startPath`, going down with OpenDeviceSubfolder. 1 on success, 0
// when a folder on the way is missing, a link or another mount, or the
// file cannot be deleted.
int DeleteDeviceFileBelow(const char16_t* startPath, const char16_t* relativePath);

// Space of the volume holding a device directory, in bytes.
struct DiskSpace {
  uint64_t available = 0;  // available to the caller
  uint64_t total = 0;      // size of the volume
  uint64_t free = 0;       // free in all
};
// Queries the space of the volume that `path` ("\SDMMC") resolves to:
// 1 on success, 0 when the path does not resolve to a directory.
int GetDiskFreeSpace(const char16_t* path, DiskSpace* space);
// Makes GetDiskFreeSpace answer `space` (null: the real query again), or
// fail when `fail` is set. For tests and demonstrations.
void OverrideDiskFreeSpace(const DiskSpace* space, bool fail = false);
