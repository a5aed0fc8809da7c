#pragma once

// The sheet's tab that is active: 1 Normal D/L, 2 ROM copy, set as the pages are shown and
// started, and read by the sheet's "Initialization". Written and read on the GUI thread only. No
// run reads it: a download window takes its page from the request it was handed.
extern int g_nCurPage;
