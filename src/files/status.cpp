// SPDX-License-Identifier: GPL-3.0-or-later
// Failure values and their German reason texts.
#include "files/status.h"

#include <cerrno>
#include <cstring>

namespace splicery {

Status Status::FromErrno(int error, std::string path) {
  Status status;
  status.failed_ = true;
  status.error_ = error;
  status.path_ = std::move(path);
  return status;
}

Status Status::Failure(std::string path, std::string reason) {
  Status status;
  status.failed_ = true;
  status.path_ = std::move(path);
  status.reason_ = std::move(reason);
  return status;
}

std::string Status::reason() const { return error_ != 0 ? ErrnoReason(error_) : reason_; }

std::string ErrnoReason(int error) {
  switch (error) {
    case ENOENT:
      return "nicht vorhanden";
    case ENOTDIR:
      return "kein Verzeichnis";
    case EACCES:
    case EPERM:
      return "keine Berechtigung";
    case ENOSPC:
    case EDQUOT:
      return "kein Platz auf dem Datenträger";
    case EROFS:
      return "Dateisystem ist schreibgeschützt";
    case ENAMETOOLONG:
      return "Name zu lang";
    case EISDIR:
      return "ist ein Verzeichnis";
    case ELOOP:
      return "zu viele symbolische Verknüpfungen";
    case EIO:
      return "Ein-/Ausgabefehler";
    case EPIPE:
      return "Empfänger hat die Verbindung geschlossen";
    // Only the file layer's own checks give EINVAL: a FIFO, a device or a socket where a file
    // was expected (the flags it passes are always valid).
    case EINVAL:
      return "keine gewöhnliche Datei";
    case EBADF:
      return "nicht geöffnet";
    case EEXIST:
      return "schon vorhanden";
    case EFBIG:
    case EOVERFLOW:
      return "Datei zu groß";
    case EMFILE:
    case ENFILE:
      return "zu viele offene Dateien";
    case ENOMEM:
      return "nicht genug Arbeitsspeicher";
    case EBUSY:
    case ETXTBSY:
      return "wird gerade benutzt";
    case ENXIO:
    case ENODEV:
      return "kein solches Gerät";
    case EOPNOTSUPP:
      return "vom Dateisystem nicht unterstützt";
    case ETIMEDOUT:
      return "Zeitüberschreitung";
    case ESTALE:
      return "veralteter Verweis auf eine Netzwerkdatei";
    default:
      return std::strerror(error);
  }
}

}  // namespace splicery
