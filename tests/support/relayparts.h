#pragma once

// The main window with the headers of its core parts and groups, for tests
// that reach a group's handlers and state.
#include "app/aboutpanel.h"
#include "app/relay.h"
#include "board/boardpanel.h"
#include "board/boardsession.h"
#include "board/devicestate.h"
#include "logic/namesgroup.h"
#include "logic/stepgrid.h"
#include "port/portpanel.h"
#include "protocol/replystream.h"
#include "status/devicestatus.h"
#include "status/statuswindowhost.h"
#include "terminal/filecommands.h"
#include "terminal/receivepane.h"
#include "terminal/sendpane.h"
#include "terminal/trafficcounters.h"
#include "controls.h"
