// Owners of the Win32 handles the add-in and its tests hold.
#pragma once

#include <windows.h>

#include "base/owner.h"

namespace veilmark {

// A kernel object's handle: some calls answer null for none, others
// INVALID_HANDLE_VALUE (files, snapshots, searches); neither is closed.
template <auto kClose>
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle handle) { return handle && handle != INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { kClose(handle); }
};

// Files, processes, threads, snapshots.
using KernelHandle = Owner<KernelHandleTraits<&CloseHandle>>;
// A FindFirstFileW search.
using FindHandle = Owner<KernelHandleTraits<&FindClose>>;
using RegistryKey = OwnerOf<HKEY, &RegCloseKey>;
using LibraryHandle = OwnerOf<HMODULE, &FreeLibrary>;
using WindowHandle = OwnerOf<HWND, &DestroyWindow>;
// A font, bitmap, brush...: HFONT, HBITMAP, or HGDIOBJ for any of them.
template <class T>
using GdiObject = OwnerOf<T, &DeleteObject>;

}  // namespace veilmark
