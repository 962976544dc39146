#pragma once

#include "text/FileDescriptor.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Whole-file reading and crash-safe writing, shared by every module that keeps files: the
// settings store, the article writer and the product-ID collectors. Paths are native; turn a
// GbkText path into one with toNativePath first. Nothing is thrown.
namespace quillet::text {

enum class ReadStatus {
    Ok,      // the whole file was read
    Missing, // no file there (nor the folder it would be in)
    Failed,  // something is there but could not be read whole: no permission, a folder, an I/O error
};

struct FileContent {
    ReadStatus status = ReadStatus::Missing;
    std::string bytes; // empty unless status is Ok
    [[nodiscard]] bool ok() const { return status == ReadStatus::Ok; }
};

// Reads a regular file whole. A missing file and one that exists but cannot be read are told
// apart, so a caller never takes an unreadable file for an empty one and writes over it.
[[nodiscard]] FileContent readWholeFile(const std::filesystem::path& path);

// Replaces the file's content so that at every moment it holds either the complete old or the
// complete new bytes, even across a kill or a power cut:
// - a symbolic link is followed (any chain of them) and the file it points to is replaced in
//   its own folder, so the link stays a link;
// - a plain file gets its bytes in a temporary file beside it, flushed to the disk, then renamed
//   over it; an existing file's permission bits are kept;
// - a file with more than one hard link is rewritten in place, so every name keeps seeing it:
//   the new bytes first go to a journal file beside it (flushed, then given its name), then over
//   the file; recoverInterruptedWrite finishes a rewrite that a kill cut short.
// False when anything failed; the file then holds its old content (or, for a hard-linked file,
// a journal that recoverInterruptedWrite completes).
[[nodiscard]] bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Completes an in-place rewrite of a hard-linked file that was cut short, from its journal,
// and removes the journal. Returns true when a rewrite was completed. Call with the path the
// writes use (the journal sits beside that name), before reading a file that
// writeFileAtomically may have been rewriting when the program died.
bool recoverInterruptedWrite(const std::filesystem::path& path);

// Whether the folder entry is flushed too after a new file got its name. Without it a power
// cut can lose the name (never the content of a file that kept its name).
enum class FolderSync { No, Yes };

enum class PublishResult {
    Published, // the file now exists under its name with exactly the bytes given
    Taken,     // something already had that name; it was left alone and nothing was written
    Failed,    // the bytes could not be written (disk full, no permission, ...)
};

// Writes a new file under a name that must be free: the bytes go to a temporary file beside
// it and are flushed to the disk, and the file then gets its final name only if no entry of
// that name exists at that moment (an atomic rename that refuses to replace, or a hard link
// where the file system lacks it). Two processes publishing the same name never overwrite
// each other: one gets Published, the other Taken, and can try the next free name.
[[nodiscard]] PublishResult publishNewFile(const std::filesystem::path& path, std::string_view bytes,
                                           FolderSync sync = FolderSync::No);

// Writing many new files with one flush of the folder (the article files of a run): each file's
// bytes go to a temporary file beside its name (stageFile); later, for a whole group at once,
// the temporary files are flushed to the disk (syncFiles), then each is given its name
// (publishStagedFile), and then the folder is flushed (syncFolderOf). A name thus only ever
// shows complete bytes that are on the disk; a kill before the naming leaves temporary files,
// which removeAbandonedTemporaries clears once their process is gone.
//
// A staged file stays open (where the system allows, and up to a limit of open files) until
// syncFiles flushes and closes it, so its flush needs no second open.
class StagedFile {
public:
    StagedFile() = default;
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&& other) noexcept;

    // Closes the file if it is still open; false when the close reported a write error.
    bool release();

    std::filesystem::path temporary; // where the bytes are until the file gets its name

private:
    friend bool stageFile(const std::filesystem::path&, std::string_view, StagedFile&);
    friend std::vector<bool> syncFiles(const std::vector<StagedFile*>&);
    FileDescriptor m_descriptor;
};
[[nodiscard]] bool stageFile(const std::filesystem::path& target, std::string_view bytes, StagedFile& staged);
// Flushes the files' bytes to the disk, all of them together, and closes them; whether each
// one made it. On Linux, where it is sound, one flush of each file system serves the whole
// group (one flush of the disk's cache instead of one per file); otherwise each file is
// flushed on its own.
[[nodiscard]] std::vector<bool> syncFiles(const std::vector<StagedFile*>& files);
// The file data the system holds unwritten (Dirty plus Writeback of Linux's /proc/meminfo),
// in KiB; -1 when the text does not say. Above a bound, a group is flushed file by file, so
// that it does not wait for other programs' data.
[[nodiscard]] long long unwrittenKiB(std::string_view meminfo);
// Gives a staged file the name `path`: without replacing anything (Taken when the name exists;
// the temporary file is then kept for another name) or, with replace, over what has that name.
// A failure removes the temporary file.
[[nodiscard]] PublishResult publishStagedFile(const std::filesystem::path& temporary,
                                              const std::filesystem::path& path, bool replace);
// Flushes the folder entry of a file that just got its name.
bool syncFolderOf(const std::filesystem::path& path);
// Removes the temporary files of this module's writers that processes which no longer run
// left in the folder. Returns how many were removed.
std::size_t removeAbandonedTemporaries(const std::filesystem::path& folder);

// The file a path finally names when it is a symbolic link (a chain of them is followed; a
// relative link counts from its own folder). A path that is no link is returned as it is.
[[nodiscard]] std::filesystem::path resolveSymlinks(const std::filesystem::path& path);

// Whether writeFileAtomically could replace the file at path (or create it): the folder of
// the file the path finally names exists and can be written, and an existing file there is a
// regular file that is not write-protected.
[[nodiscard]] bool canReplaceFile(const std::filesystem::path& path);

} // namespace quillet::text
