// The content store: the archive zarn.dat and the file layer in front of it.
// A name resolves to a loose file first (twelve directory prefixes, in order),
// then to an archive member, which is read wholly into memory (and unpacked
// with LZRW3 when stored so).
#pragma once

#include <cstdint>
#include <cstdio>

enum { DATAFILE_MEMBER = 1, DATAFILE_LOOSE = 2 };

struct DataFile {
    int32_t kind;          // DATAFILE_MEMBER or DATAFILE_LOOSE
    FILE *stream;          // loose file: its own stream; member: the shared archive stream
    uint32_t memberOffset; // member: offset of its stored bytes in the archive; loose: 0
    uint8_t *data;         // member: the content followed by one 0 byte; loose: null
    char name[56];         // the requested name (at most 55 characters)
    int32_t position;      // member: read position in data
    int32_t size;          // member: unpacked size; loose: 0
};

// Sets the archive's file name and opens the archive at once. Returns 1 when an
// archive is open, 0 when there is none (loose files still work).
int ArchiveSetName(const char *fileName);

// Makes stream, read from its start, the archive in place of any archive open
// now, exactly as a file of that content would be; the archive owns the
// stream from then on (a stream that is no archive is closed at once). Tests
// and fuzz targets hand in memory streams (fmemopen). Returns 1 when an
// archive is open, 0 when there is none.
int ArchiveOpenStream(FILE *stream);

// For tests and fuzz targets, which serve their input as an archive member:
// with the search off (it is on from the start), DataFileOpen looks in the
// archive only, and no file of the working directory can stand in for it.
void DataFileSearchLooseFiles(int on);

// Reads the archive again from its file, as after a new one was written in
// its place: the old stream and directory are dropped and the archive is
// initialised afresh under the same name. No member may be open meanwhile
// (a JPEG member is decoded from the archive's stream). Returns 1 when an
// archive is open afterwards, 0 when there is none.
int ArchiveReopen();

// The archive's directory as DataFileOpen sees it (where two entries share a
// name, the first is the one found): the number of entries (0 without an
// archive) and the name of entry index (null outside 0 .. count - 1).
int32_t ArchiveMemberCount();
const char *ArchiveMemberName(int32_t index);

// For tests only: closes the archive, frees its directory and forgets that it
// was ever initialised (the name returns to "data.cr"), so the next
// ArchiveSetName or DataFileOpen initialises it afresh. Cannot fail.
void ArchiveResetForTests();

// 1 when the two names are equal ignoring ASCII case (A-Z only), the way
// member names are matched; 0 otherwise (also when either is null).
int DataFileSameName(const char *a, const char *b);

// 1 when a file at path (below the working directory, '/' between the
// steps) lies where loose files are looked for: in the working directory
// itself or directly in one of its folders tex/, lens/, ... vtx/ (the
// folder's name compared ignoring case); 0 otherwise, also for null.
int DataFileLooseFolder(const char *path);

// A new DataFile for name, or null when the name is found nowhere, the member
// cannot be read or unpacked, the mode is not "rb" for a member, or memory runs out.
DataFile *DataFileOpen(const char *name, const char *mode);

// Tools: the folders searched for loose files, in order, as path prefixes
// ("" for the issue's own directory, then "tex/" ...); null past the last.
const char *DataFileLooseDirectory(int index);

// Tools: watcher (null for none) is told of every DataFileOpen: the name asked
// for, the file opened (null when none) and, for a loose file, the path it was
// found under (a directory prefix and the name; null otherwise).
typedef void (*DataFileOpenWatcher)(const char *name, const DataFile *file, const char *loosePath);
void DataFileWatchOpens(DataFileOpenWatcher watcher);

// Closes a loose file's stream (returns the platform close result) or frees a
// member's data (returns 1); frees the record. Null returns 0.
int DataFileClose(DataFile *file);

// Number of whole items read (0 at the end or on error).
int32_t DataFileRead(void *destination, int32_t itemSize, int32_t itemCount, DataFile *file);

// Next byte as 0-255; at the end a member gives 0 and a loose file -1.
int DataFileGetc(DataFile *file);

// Moves the position (origin 0 start, 1 current, 2 end); members clamp instead
// of failing. Returns 1 on success, 0 for a bad origin or a failed loose seek.
int DataFileSeek(DataFile *file, int32_t offset, int origin);

// Current position (-1 when a loose file's position cannot be told).
int32_t DataFileTell(DataFile *file);

// Non-zero once the end has been reached.
int DataFileEof(DataFile *file);

// Converts the next whitespace-delimited field with format (one conversion)
// into destination; returns the number of fields converted (0 or 1, or EOF).
int DataFileScan(DataFile *file, const char *format, void *destination);
