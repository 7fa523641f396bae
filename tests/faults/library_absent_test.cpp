// A driver library missing from the program's folder (this binary lives in
// a folder without any) is reported as not loadable (100 + type), even
// with a library of that name planted in the current folder, which is never
// loaded.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "PlantedFolder.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

TEST(MissingLibrary, PlantedLibraryInTheCurrentFolderIsNotTakenInstead) {
  // This binary's folder really holds no driver library.
  const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
  for (TInterfaceType type = 0; type < kInterfaceTypeCount; ++type) {
    ASSERT_FALSE(fs::exists(programFolder / DriverLibraryName(type))) << programFolder;
  }
  faults::PlantedFolder planted(DQ_PLANTED_LIBRARY);
  ASSERT_TRUE(planted.Ready());
  for (TInterfaceType type = 0; type < kInterfaceTypeCount; ++type) {
    SCOPED_TRACE(DriverLibraryName(type));
    intptr_t params[kInitParamCount] = {1};
    int32_t handle = 0;
    EXPECT_EQ(DriverInit(type, handle, params), 100 + type);
    EXPECT_EQ(handle, 0);
    EXPECT_FALSE(DriverIsBound());
    EXPECT_TRUE(faults::MappedFiles(DriverLibraryName(type)).empty());
    EXPECT_EQ(DriverErrorString(type, 100 + type),
              Cp1250FromUtf8("chyba inicializace knihovny ") + DriverLibraryName(type));
  }
  EXPECT_FALSE(planted.MarkerWritten());
}

// The trap itself works: loaded by its path, the planted library leaves
// its marker.
TEST(MissingLibrary, PlantedLibraryLeavesItsMarkerWhenLoadedByPath) {
  faults::PlantedFolder planted(DQ_PLANTED_LIBRARY);
  ASSERT_TRUE(planted.Ready());
  void* library = dlopen("./TCOM847.DLL", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_TRUE(planted.MarkerWritten());
  dlclose(library);
}

}  // namespace
