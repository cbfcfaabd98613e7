// The two entry points the host finds by name or ordinal (see torvo.def).
#include "editor/editor.h"
#include "module/host_records.h"
#include "module/module_state.h"
#include "module/room_events.h"

extern "C" unsigned long __cdecl Torvo_SetUserState(unsigned long event, _ROOM* room,
                                                    unsigned long index) {
    // Another program's version of the rule file comes into force at the
    // start of a visitor event, a look at the file at most once a second.
    if (event == EVENT_ALL_USERS || event == EVENT_NEW_USER || event == EVENT_ONE_USER) {
        FollowRuleFile();
    }
    return MatchRoomVisitors(event, room, index);
}

extern "C" unsigned long __cdecl Torvo_Setup(unsigned long, void*, _CFG_INFO* config) {
    if (config) {
        OpenEditor(g_hInstance, config->configFile, sizeof config->configFile,
                   config->charMode == CHAR_MODE_ANSI);
    }
    return 0;
}
