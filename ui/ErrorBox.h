#pragma once

// Shows an engine error in a warning box and returns once it is dismissed. The box is owned by
// the main window; on the main window's thread, by the main window's dialog in use when one is
// open, so that the dialog cannot be used beneath it. Installed as the engine's error hook, so it runs on
// whichever thread met the error.
void showErrorBox(char const* text);

// For an error met inside a notification, where no modal loop may run (its sender could be
// destroyed under it): the box is shown once the notification is over, by the main window's timer.
// Texts still waiting when the exit begins are dropped. User-interface thread only; throws
// std::bad_alloc when the text cannot be kept.
void showErrorBoxLater(char const* text);
// Shows the boxes that showErrorBoxLater has kept, in order, until the exit begins.
void showLaterErrorBoxes();
