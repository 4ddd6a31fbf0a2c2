// The Windows headers, without the macros that would rename this layer's functions: windows.h
// maps CreateFile and its kin to their A or W form, and platform.h declares functions of those
// very names. Every file of this backend, and a test that uses both, includes this one instead.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <winnetwk.h>

#undef CharLower
#undef CharUpper
#undef CopyFile
#undef CreateFile
#undef DeleteFile
#undef FindFirstFile
#undef FindFirstFileEx
#undef FindNextFile
#undef GetCurrentDirectory
#undef GetDriveType
#undef GetFileAttributes
#undef GetModuleFileName
#undef GetVolumeInformation
#undef OemToChar
#undef SetCurrentDirectory
#undef ShellExecute
#undef WNetGetConnection
