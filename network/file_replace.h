// Saving a small configuration file so that it cannot tear: the new content is
// written to a temporary file in the same folder, flushed to the disk, and then
// takes the old file's place in one step. A failure at any step leaves the old
// file exactly as it was and removes the temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

// The file-system steps of a save. Implementations: Win32 (the programs), POSIX
// (native builds), and a failure-injecting wrapper in the tests.
class FileSteps {
 public:
  using Handle = intptr_t;
  virtual ~FileSteps() = default;
  // Whole content of the file at path. A missing file gives true with exists
  // false; something that is not a regular file (a folder, a device) or cannot be
  // read gives false.
  virtual bool ReadExisting(const std::string& path, std::vector<uint8_t>& out, bool& exists) = 0;
  // Creates (or empties) the temporary file tmp that is to replace target. False
  // when target exists but may not be replaced (marked read-only) or tmp cannot
  // be created.
  virtual bool Create(const std::string& tmp, const std::string& target, Handle& h) = 0;
  // Writes all n bytes.
  virtual bool Write(Handle h, const uint8_t* p, size_t n) = 0;
  // Puts what was written on the disk.
  virtual bool Flush(Handle h) = 0;
  virtual bool Close(Handle h) = 0;
  // Puts tmp in the place of target in one step (target may be missing).
  virtual bool Replace(const std::string& tmp, const std::string& target) = 0;
  virtual void Remove(const std::string& path) = 0;
};

// The steps of the platform the program runs on.
FileSteps& NativeFileSteps();

enum class SaveFailure {
  kNone,
  kOpen,   // the file could not be read or the temporary file not created
  kWrite,  // writing, flushing, closing or replacing failed
};

// Name of the temporary file of a save of path: beside it, same folder.
std::string TemporaryName(const std::string& path);

// Puts head at offset 0 of the file at path, keeping every byte the file holds
// beyond it, and creating the file when it is missing.
SaveFailure ReplaceFileStart(const std::string& path, const std::vector<uint8_t>& head,
                             FileSteps& fs = NativeFileSteps());

}  // namespace kvl
