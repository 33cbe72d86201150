#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <clocale>

#include "opener/Message.h"

void showInWindow(const std::string& sentence, const std::string& display) {
    // The sentence holds a file's name, in UTF-8 however it is spelt.
    std::setlocale(LC_ALL, "");
    Display* x = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!x) {
        return;
    }
    char** missing = nullptr;
    int missingCount = 0;
    char* fallback = nullptr;
    XFontSet font = XCreateFontSet(x, "-*-*-medium-r-normal--14-*-*-*-*-*-*-*,fixed", &missing,
                                   &missingCount, &fallback);
    XFreeStringList(missing);
    const std::string closing = "Enter, Escape or a click closes this.";
    XRectangle ink{}, logical{}, closingLogical{};
    if (font) {
        Xutf8TextExtents(font, sentence.data(), int(sentence.size()), &ink, &logical);
        Xutf8TextExtents(font, closing.data(), int(closing.size()), &ink, &closingLogical);
    }
    const int line = std::max<int>(logical.height, 14), margin = 16;
    const int width = std::min(std::max<int>(logical.width, closingLogical.width) + 2 * margin,
                               DisplayWidth(x, DefaultScreen(x)) - 40);
    const int height = 2 * margin + 3 * line;
    const int screen = DefaultScreen(x);
    const Window window =
        XCreateSimpleWindow(x, RootWindow(x, screen), 0, 0, unsigned(width), unsigned(height), 0,
                            BlackPixel(x, screen), WhitePixel(x, screen));
    XStoreName(x, window, "orvalis");
    XClassHint names{const_cast<char*>("orvalis"), const_cast<char*>("orvalis")};
    XSetClassHint(x, window, &names);
    // A dialog, which window managers keep small and in front.
    const Atom type = XInternAtom(x, "_NET_WM_WINDOW_TYPE", False);
    Atom dialog = XInternAtom(x, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(x, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dialog), 1);
    Atom closeRequest = XInternAtom(x, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(x, window, &closeRequest, 1);
    XSelectInput(x, window, ExposureMask | KeyPressMask | ButtonPressMask);
    XMapRaised(x, window);
    const GC pen = XCreateGC(x, window, 0, nullptr);
    XSetForeground(x, pen, BlackPixel(x, screen));
    for (bool open = true; open;) {
        XEvent event;
        XNextEvent(x, &event);
        if (event.type == Expose && font) {
            Xutf8DrawString(x, window, font, pen, margin, margin + line, sentence.data(),
                            int(sentence.size()));
            Xutf8DrawString(x, window, font, pen, margin, margin + 3 * line, closing.data(),
                            int(closing.size()));
        } else if (event.type == KeyPress) {
            const KeySym key = XLookupKeysym(&event.xkey, 0);
            open = key != XK_Return && key != XK_KP_Enter && key != XK_Escape;
        } else if (event.type == ButtonPress) {
            open = false;
        } else if (event.type == ClientMessage) {
            open = Atom(event.xclient.data.l[0]) != closeRequest;
        }
    }
    if (font) {
        XFreeFontSet(x, font);
    }
    XFreeGC(x, pen);
    XCloseDisplay(x);
}
