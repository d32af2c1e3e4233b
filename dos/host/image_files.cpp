#include "dos/host/image_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "dos/engine/image.h"

namespace orvane::dos::host {

std::string PartPath(const std::string& first, unsigned index) {
  std::vector<char> out(first.size() + 8);
  if (!ImagePartName(first.c_str(), index, out.data(), static_cast<uint32_t>(out.size()))) {
    return {};
  }
  return out.data();
}

Status ImageFileWriter::Failed(Fault fault) {
  error_ = errno;
  return Status::Fail(error_ == ENOSPC ? Fault::kFileFull : fault, total_);
}

Status ImageFileWriter::Write(const uint8_t* data, uint32_t size) {
  while (size > 0) {
    if (!file_ || in_part_ == limit_) {
      if (file_) {
        if (std::fclose(file_.release()) != 0) return Failed(Fault::kFileWrite);
        ++index_;
      }
      part_ = PartPath(first_, index_);
      if (part_.empty()) return Status::Fail(Fault::kFileFull, total_);
      file_.reset(std::fopen(part_.c_str(), "wb"));
      if (!file_) return Failed(Fault::kFileOpen);
      created_ = index_ + 1;
      in_part_ = 0;
    }
    uint64_t n = limit_ - in_part_;
    if (n > size) n = size;
    if (std::fwrite(data, 1, n, file_.get()) != n) return Failed(Fault::kFileWrite);
    data += n;
    size -= static_cast<uint32_t>(n);
    in_part_ += n;
    total_ += n;
  }
  return Status::Ok();
}

bool ImageFileWriter::Close() {
  if (!file_) return true;
  ++index_;
  if (std::fclose(file_.release()) == 0) return true;
  error_ = errno;
  return false;
}

void ImageFileWriter::Discard() {
  file_.reset();
  for (unsigned i = 0; i < created_; ++i) std::remove(PartPath(first_, i).c_str());
}

bool ImageFileReader::Open() {
  file_.reset(std::fopen(first_.c_str(), "rb"));
  return file_ != nullptr;
}

bool ImageFileReader::GoesOnAfter(unsigned missing, int open_error) const {
  // There, but not to be opened.
  if (open_error != ENOENT) return true;
  if (index_ > 0 && in_part_ == first_part_) return true;
  for (unsigned i = missing + 1; i < kMaxParts; ++i) {
    struct stat st;
    if (stat(PartPath(first_, i).c_str(), &st) == 0) return true;
  }
  return false;
}

Status ImageFileReader::Read(uint8_t* data, uint32_t size, uint32_t* got) {
  *got = 0;
  while (size > 0 && !ended_) {
    const size_t n = std::fread(data, 1, size, file_.get());
    if (std::ferror(file_.get())) return Status::Fail(Fault::kFileRead, total_);
    data += n;
    size -= static_cast<uint32_t>(n);
    *got += static_cast<uint32_t>(n);
    total_ += n;
    in_part_ += n;
    if (size == 0) break;
    // This part has ended: go on in the next one, if there is one.
    if (index_ == 0) first_part_ = in_part_;
    const std::string next = PartPath(first_, index_ + 1);
    if (next.empty()) {
      ended_ = true;
      break;
    }
    std::FILE* f = std::fopen(next.c_str(), "rb");
    if (!f) {
      if (GoesOnAfter(index_ + 1, errno)) {
        return Status::Fail(Fault::kPartMissing, total_, static_cast<uint16_t>(index_ + 1));
      }
      ended_ = true;
      break;
    }
    file_.reset(f);
    ++index_;
    in_part_ = 0;
  }
  return Status::Ok();
}

bool FileDisk::Open(const std::string& path, bool writable, std::string* why) {
  const auto refuse = [&](const std::string& reason) {
    file_.reset();
    if (why) *why = reason;
    return false;
  };
  file_.reset(std::fopen(path.c_str(), writable ? "r+b" : "rb"));
  if (!file_) {
    return refuse(std::string("The partition file cannot be opened. (") + std::strerror(errno) +
                  ")");
  }
  struct stat st;
  if (fstat(fileno(file_.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    return refuse("The partition file is a folder.");
  }
  if (std::fseek(file_.get(), 0, SEEK_END) != 0) {
    return refuse(std::string("The partition file cannot be read. (") + std::strerror(errno) + ")");
  }
  const long size = std::ftell(file_.get());
  if (size < 0) return refuse("The partition file cannot be read.");
  const uint64_t bytes = static_cast<uint64_t>(size);
  if (bytes % kSectorSize != 0) {
    return refuse("The partition file is " + std::to_string(bytes) +
                  " bytes long: no whole number of 512-byte sectors.");
  }
  if (bytes / kSectorSize > UINT32_MAX) {
    return refuse("The partition file is " + std::to_string(bytes) +
                  " bytes long: a partition of 2 TiB or more cannot be imaged.");
  }
  sectors_ = static_cast<uint32_t>(bytes / kSectorSize);
  return true;
}

Status FileDisk::Read(uint32_t lba, uint16_t count, uint8_t* buffer) {
  if (uint64_t{lba} + count > sectors_ ||
      std::fseek(file_.get(), static_cast<long>(uint64_t{lba} * kSectorSize), SEEK_SET) != 0 ||
      std::fread(buffer, kSectorSize, count, file_.get()) != count) {
    return Status::Fail(Fault::kDiskRead, lba);
  }
  return Status::Ok();
}

Status FileDisk::Write(uint32_t lba, uint16_t count, const uint8_t* buffer) {
  if (uint64_t{lba} + count > sectors_ ||
      std::fseek(file_.get(), static_cast<long>(uint64_t{lba} * kSectorSize), SEEK_SET) != 0 ||
      std::fwrite(buffer, kSectorSize, count, file_.get()) != count) {
    return Status::Fail(Fault::kDiskWrite, lba);
  }
  return Status::Ok();
}

bool MemoryBatch::Put(uint32_t at, const uint8_t* data, uint32_t size) {
  if (at > bytes_.size() || size > bytes_.size() - at || (at | size) & 1) return false;
  std::memcpy(bytes_.data() + at, data, size);
  return true;
}

bool MemoryBatch::Get(uint32_t at, uint8_t* data, uint32_t size) {
  if (at > bytes_.size() || size > bytes_.size() - at || (at | size) & 1) return false;
  std::memcpy(data, bytes_.data() + at, size);
  return true;
}

}  // namespace orvane::dos::host
