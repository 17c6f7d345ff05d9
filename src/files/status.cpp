// SPDX-License-Identifier: GPL-3.0-or-later
// Failure values and their codes.
#include "files/status.h"

#include <cerrno>

namespace splicery {

Status Status::FromErrno(int error, std::string path) {
  Status status;
  switch (error) {
    case ENOENT:
      status.code_ = Code::kNotFound;
      break;
    case EACCES:
    case EPERM:
      status.code_ = Code::kPermission;
      break;
    case EEXIST:
      status.code_ = Code::kExists;
      break;
    case ENAMETOOLONG:
      status.code_ = Code::kNameTooLong;
      break;
    default:
      status.code_ = Code::kSystem;
  }
  status.error_ = error;
  status.path_ = std::move(path);
  return status;
}

Status Status::Failure(Code code, std::string path) {
  Status status;
  status.code_ = code;
  status.path_ = std::move(path);
  return status;
}

Status Status::Described(Code code, std::string path, std::string detail) {
  Status status = Failure(code, std::move(path));
  status.detail_ = std::move(detail);
  return status;
}

Status Status::About(std::string path) const {
  if (ok()) return *this;
  Status status = *this;
  status.path_ = std::move(path);
  return status;
}

}  // namespace splicery
