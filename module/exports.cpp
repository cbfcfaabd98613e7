// The two entry points the host finds by name or ordinal (see torvo.def).
#include "matching/matching.h"
#include "module/module_state.h"

extern "C" unsigned long __cdecl Torvo_SetUserState(unsigned long event, _ROOM* room,
                                                    unsigned long index) {
    return MatchRoomVisitors(event, room, index);
}

extern "C" unsigned long __cdecl Torvo_Setup(unsigned long, void*, _CFG_INFO* config) {
    if (config) OpenEditor(*config);
    return 0;
}
