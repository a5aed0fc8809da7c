#pragma once

// The sheet's tab that is active or that started the open download window: 1 Normal D/L,
// 2 ROM copy. Written and read on the GUI thread only.
extern int g_nCurPage;

// Which download window a page's Start opens.
enum class DownloadWindow { kSingle, kMulti };
