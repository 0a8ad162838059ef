// Tab and Shift-Tab in the command area: the word at the cursor is completed from the
// MQSC vocabulary (verb, object type, keyword, predefined value) or from the names of
// the objects on the connection; inside =WHERE, =SORT and =SORTD from the response
// fields, operators and values. Repeated presses cycle through the candidates.
#pragma once

struct ConsoleState;

// `direction` +1 (Next Value) or -1 (Previous Value).
void completeAtCursor(ConsoleState &c, int direction);
