// The release's version: the host's string 2, both programs' version
// resources and the name of the release archive all take it from here.
#pragma once

#define TORVO_VERSION_MAJOR 0
#define TORVO_VERSION_MINOR 80
#define TORVO_VERSION_TEXT "0.80"
