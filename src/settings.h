#pragma once

class QSettings;

// The one application-wide settings store ("Quarnett" / "Corvanta", Qt's native
// format in the user scope). Created on first use, deleted at process exit; callers
// never delete it. Every key is written and read with its full "main/..." path.
QSettings* settings();
