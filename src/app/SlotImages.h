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

// X(Name, image, mask) for each slot from kFirstImageSlot on, in slot order:
// the slots' names (kSlotName, TextureSlot) and the files they load both
// come from this list.
#define DEMO_SLOT_IMAGES(X) \
    X(Cola, "cola.jpg", "colamask.jpg") \
    X(Led1, "led1.jpg", nullptr) \
    X(Led2, "led2.jpg", nullptr) \
    X(Led3, "led3.jpg", nullptr) \
    X(Led4, "led4.jpg", nullptr) \
    X(Bubble, "bubble.jpg", "bubblemask.jpg") \
    X(Cloud2, "cloud2.jpg", "cloudmask2.jpg") \
    X(Specular, "specular.jpg", nullptr) \
    X(ColaInter, "colainter.jpg", nullptr) \
    X(Noise, "noise.jpg", nullptr) \
    X(Flowers, "flowers.jpg", "flowers.jpg") \
    X(Butterfly, "blank.jpg", "butterfly.jpg") \
    X(Flowers2, "flowers2.jpg", "flowers2.jpg") \
    X(Wheel, "wheel.jpg", nullptr) \
    X(Flower1, "flower1mask.jpg", "flower1.jpg") \
    X(Specular2, "specular2.jpg", nullptr) \
    X(RedTex, "redtex.jpg", nullptr) \
    X(Scratch, "blackbg.jpg", "scratch.jpg") \
    X(Cloud3, "cloud3.jpg", "cloud3mask.jpg") \
    X(Trash, "trash.jpg", "trash.jpg") \
    X(Net, "net.jpg", nullptr) \
    X(Dust, "dust.jpg", "dust.jpg") \
    X(Yeah, "yeah.jpg", "yeahmask.jpg") \
    X(Disco, "disco.jpg", "discomask.jpg") \
    X(Man1, "man1.jpg", "man1mask.jpg") \
    X(Man2, "man2.jpg", "man2mask.jpg") \
    X(Greet1, "greet1.jpg", "greet1mask.jpg") \
    X(Greet2, "greet2.jpg", "greet2mask.jpg") \
    X(Greet3, "greet3.jpg", "greet3mask.jpg") \
    X(Greet4, "greet4.jpg", "greet4mask.jpg") \
    X(Greet5, "greet5.jpg", "greet5mask.jpg") \
    X(Greet6, "greet6.jpg", "greet6mask.jpg") \
    X(Greet7, "greet7.jpg", "greet7mask.jpg") \
    X(Greet8, "greet8.jpg", "greet8mask.jpg") \
    X(Layer2, "layer2.jpg", "layer2mask.jpg") \
    X(Ending, "ending.jpg", nullptr)

constexpr int kFirstImageSlot = 5;
constexpr SlotImage kSlotImages[] = {
#define DEMO_SLOT_IMAGE_ROW(name, image, mask) {image, mask},
    DEMO_SLOT_IMAGES(DEMO_SLOT_IMAGE_ROW)
#undef DEMO_SLOT_IMAGE_ROW
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
