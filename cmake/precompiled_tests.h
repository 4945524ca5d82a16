// The test programs' common headers: those of the programs and GoogleTest.
#pragma once

#include "precompiled_qt.h"

#include <gtest/gtest.h>
