// The Win32 calls the archive's storage makes, as FileCalls gives them to it.

#include "fonttable/filecalls.h"

#define WIN32_LEAN_AND_MEAN

#include <windows.h>

namespace fonttable
{

FileCalls::FileCalls()
    : createFile(
          [](const wchar_t *path, unsigned long access, unsigned long share, unsigned long flags) {
              return static_cast<void *>(
                  ::CreateFileW(path, access, share, nullptr, OPEN_EXISTING, flags, nullptr));
          }),
      reopenFile([](void *file, unsigned long access, unsigned long share, unsigned long flags) {
          return static_cast<void *>(::ReOpenFile(file, access, share, flags));
      }),
      identify([](void *file, FileIdentity *identity) {
          BY_HANDLE_FILE_INFORMATION info;
          if (!::GetFileInformationByHandle(file, &info))
              return 0;
          identity->attributes = info.dwFileAttributes;
          identity->volume = info.dwVolumeSerialNumber;
          identity->file = quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
          identity->size = qint64(quint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
          identity->links = info.nNumberOfLinks;
          return 1;
      }),
      readFile(
          [](void *file, void *buffer, unsigned long count, unsigned long *done, qint64 offset) {
              OVERLAPPED at = {};
              at.Offset = DWORD(offset);
              at.OffsetHigh = DWORD(quint64(offset) >> 32);
              return int(::ReadFile(file, buffer, count, done, &at));
          }),
      writeFile([](void *file, const void *buffer, unsigned long count, unsigned long *done,
                   qint64 offset) {
          OVERLAPPED at = {};
          at.Offset = DWORD(offset);
          at.OffsetHigh = DWORD(quint64(offset) >> 32);
          return int(::WriteFile(file, buffer, count, done, &at));
      }),
      lockFile([](void *file, unsigned long flags, qint64 offset, qint64 length) {
          OVERLAPPED at = {};
          at.Offset = DWORD(offset);
          at.OffsetHigh = DWORD(quint64(offset) >> 32);
          return int(
              ::LockFileEx(file, flags, 0, DWORD(length), DWORD(quint64(length) >> 32), &at));
      }),
      unlockFile([](void *file, qint64 offset, qint64 length) {
          OVERLAPPED at = {};
          at.Offset = DWORD(offset);
          at.OffsetHigh = DWORD(quint64(offset) >> 32);
          return int(::UnlockFileEx(file, 0, DWORD(length), DWORD(quint64(length) >> 32), &at));
      }),
      flushFileBuffers([](void *file) { return int(::FlushFileBuffers(file)); }),
      closeHandle([](void *file) { return int(::CloseHandle(file)); })
{
}

} // namespace fonttable
