#pragma once

// Shows an engine error in a warning box owned by the main window; returns once it is dismissed.
// Installed as the engine's error hook, so it runs on whichever thread met the error.
void showErrorBox(char const* text);

// For an error met inside a notification, where no modal loop may run (its sender could be
// destroyed under it): the box is shown once the notification is over, by the main window, or
// after the message loop when the window has gone first. User-interface thread only; throws
// std::bad_alloc when the text cannot be kept.
void showErrorBoxLater(char const* text);
// Shows the boxes that showErrorBoxLater has kept, in order.
void showLaterErrorBoxes();
