#include "ReleaseNotesView.h"

QVariant ReleaseNotesView::loadResource(int, const QUrl&) { return {}; }
