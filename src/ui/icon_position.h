#pragma once

#include "window_system.h"

// Where the icon of a minimised window is drawn: centred in the client
// area, the odd pixel going to the right and the bottom.
inline wsys::Size MinimisedIconOrigin(wsys::Size client, wsys::Size icon)
{
    return {(client.cx - icon.cx + 1) / 2, (client.cy - icon.cy + 1) / 2};
}
