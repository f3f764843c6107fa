#pragma once
// SimPtyProcess lives with ChildProcess.
#include "tty/ChildProcess.h"
