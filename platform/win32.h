// The one place that chooses between the real Win32 interfaces and our stand-in for them.
// Engine and front-end code include this header and nothing platform-specific of their own.
#pragma once

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
// The original sound buffer description (no 3D algorithm), as the stand-in has it.
#define DIRECTSOUND_VERSION 0x0300
#include <windows.h>
#include <mmsystem.h>
#include <process.h>
#include <ddraw.h>
#include <dsound.h>
#else
#include "platform/standin/windows_base.h"
#include "platform/standin/kernel.h"
#include "platform/standin/mmio.h"
#include "platform/standin/ddraw.h"
#include "platform/standin/dsound.h"
#include "platform/standin/winuser.h"
#endif
