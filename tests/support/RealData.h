// Test helper: the folder of the real mesh files written by other programs.
//
// Outside CI a test may skip when the folder is absent; under CI (CI=true)
// its absence is a failure.
#pragma once

#include "mesh/BaseMesh.h"

#include <gtest/gtest.h>

#include <string>

namespace mwtest {

// MW_REALDATA_DIR/kind ("stl", "vrml", "nastran"), or empty when it is not a
// folder.
std::string realDataDir(const char* kind);

// True when the environment says the tests run under CI.
bool underCI();

// Number of distinct vertices the mesh's polygons use: after a reader's
// vertex merge, the vertices of the model (merged-away copies stay stored
// but are used by no polygon).
int usedVertexCount(Mesh::CBaseMesh& mesh);

} // namespace mwtest

// Declares `var` as the folder of the real files of `kind`; skips the test
// (fails it under CI) when the folder is absent. For test bodies and SetUp.
#define MW_REALDATA_DIR_OR_SKIP(var, kind)                                                         \
    const std::string var = mwtest::realDataDir(kind);                                             \
    if (var.empty()) {                                                                             \
        if (mwtest::underCI())                                                                     \
            FAIL() << "real data folder missing under CI: " << MW_REALDATA_DIR << "/" << kind;     \
        GTEST_SKIP() << "no real data at " << MW_REALDATA_DIR << "/" << kind;                      \
    }
