// The module as a stand-in host loads it: the file, its two exports, the
// window classes the chat host provides, and the editor dialogs it shows.
// The stand-in host program, the tests and the benchmarks all load it so.
#pragma once

#include "contract/host_contract.h"

#include <windows.h>

#include <string>
#include <vector>

// The module loaded with LoadLibraryA and both exports resolved by name.
// Unloading runs the module's unload handler, which saves the rule file.
struct LoadedModule {
    HMODULE handle = nullptr;
    SetUserStateFn setUserState = nullptr;
    SetupFn setup = nullptr;
};

// Full path of a file beside the running program, and of the built
// torvo.jem there: the build puts every program in one folder.
std::string FileBesideProgram(const std::string& name);
std::string ModulePath();

// Loads the module file `path` (full, or against the current folder) as the
// chat host does and resolves both exports. False when the file is missing,
// does not load or lacks an export: the module is then not loaded and
// `error` says why, naming the file as given and any missing export.
bool LoadModuleFile(const std::string& path, LoadedModule& module, std::string& error);
void UnloadModule(LoadedModule& module);

// Makes the list-view and rich edit classes available, as the chat host does
// before it opens the editor.
void PrepareHostClasses();

// The module's editor dialogs among a thread's top-level windows. Programs
// run side by side on one desktop: a search of all its windows could take
// another program's editor.
std::vector<HWND> EditorWindowsOfThread(DWORD threadId);
