// The images the texture slots load, from slot kFirstImageSlot on, in slot
// order: each an image file and its alpha mask's file (nullptr: none). The
// one list of them: start-up loads it, the image generator draws every file
// it names, and the tests check those files against it.
#pragma once

#include <set>
#include <string>

struct SlotImage {
    const char* image;
    const char* mask;
};

constexpr int kFirstImageSlot = 5;
constexpr SlotImage kSlotImages[] = {
    {"cola.jpg", "colamask.jpg"},
    {"led1.jpg", nullptr},
    {"led2.jpg", nullptr},
    {"led3.jpg", nullptr},
    {"led4.jpg", nullptr},
    {"bubble.jpg", "bubblemask.jpg"},
    {"cloud2.jpg", "cloudmask2.jpg"},
    {"specular.jpg", nullptr},
    {"colainter.jpg", nullptr},
    {"noise.jpg", nullptr},
    {"flowers.jpg", "flowers.jpg"},
    {"blank.jpg", "butterfly.jpg"},
    {"flowers2.jpg", "flowers2.jpg"},
    {"wheel.jpg", nullptr},
    {"flower1mask.jpg", "flower1.jpg"},
    {"specular2.jpg", nullptr},
    {"redtex.jpg", nullptr},
    {"blackbg.jpg", "scratch.jpg"},
    {"cloud3.jpg", "cloud3mask.jpg"},
    {"trash.jpg", "trash.jpg"},
    {"net.jpg", nullptr},
    {"dust.jpg", "dust.jpg"},
    {"yeah.jpg", "yeahmask.jpg"},
    {"disco.jpg", "discomask.jpg"},
    {"man1.jpg", "man1mask.jpg"},
    {"man2.jpg", "man2mask.jpg"},
    {"greet1.jpg", "greet1mask.jpg"},
    {"greet2.jpg", "greet2mask.jpg"},
    {"greet3.jpg", "greet3mask.jpg"},
    {"greet4.jpg", "greet4mask.jpg"},
    {"greet5.jpg", "greet5mask.jpg"},
    {"greet6.jpg", "greet6mask.jpg"},
    {"greet7.jpg", "greet7mask.jpg"},
    {"greet8.jpg", "greet8mask.jpg"},
    {"layer2.jpg", "layer2mask.jpg"},
    {"ending.jpg", nullptr},
};

// Every file the list names, images and masks, each once.
inline std::set<std::string> slotImageFiles() {
    std::set<std::string> names;
    for (const SlotImage& s : kSlotImages) {
        names.insert(s.image);
        if (s.mask) names.insert(s.mask);
    }
    return names;
}
