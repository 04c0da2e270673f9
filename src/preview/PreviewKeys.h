#pragma once

class QKeyEvent;

// What a key pressed while the preview is up does.
enum class PreviewKeyAction {
    passOn,
    close,
    togglePlayback,
    previous,
    next,
    copy,
    save,
};

struct PreviewKeyContext {
    bool windowVisible = false;
    // Keys typed while annotating belong to the editor (a space in a callout,
    // arrows in a text field), never to paging or closing.
    bool markupMode = false;
    // Whether the key went to the preview window; keys of the program's other
    // windows are theirs.
    bool targetIsPreview = false;
    bool currentIsVideo = false;
};

PreviewKeyAction previewKeyAction(const QKeyEvent &event, const PreviewKeyContext &context);
