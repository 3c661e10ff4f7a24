#pragma once
// The windows of one Zelvar run, as the start-up code creates them. The main
// window gets the set to show the other windows from its commands; the set is
// filled while the windows are created, so a window may only look at the
// others once all exist.

class TAed;
class TEd;
class TForm1;
class THelp;
class TLST;
class TNastav;
class TSklad;
class TSplash;

struct WindowSet {
    TForm1* main = nullptr;
    TSplash* splash = nullptr;
    THelp* help = nullptr;
    TEd* editor = nullptr;
    TAed* assembly = nullptr;
    TNastav* setup = nullptr;
    TLST* listing = nullptr;
    TSklad* store = nullptr;
};
