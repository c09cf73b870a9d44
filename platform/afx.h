// The non-window part of the platform layer in one include.
#pragma once

#include "platform/types.h"
#include "platform/CString.h"
#include "platform/codepage.h"
#include "platform/bstr.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "platform/timeutil.h"
#include "platform/config.h"
