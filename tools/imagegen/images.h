// The demo's texture images: one drawing function per image (or pair of
// image and mask). Each hands its files to a Sink, which writes them.
#pragma once

#include <string>

#include "draw.h"
#include "imageio.h"
#include "text.h"

namespace gen {

// Receives finished files by name ("cola.jpg").
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void colour(const std::string& name, const Picture& p, Chroma chroma) = 0;
  virtual void grey(const std::string& name, const Plane& m) = 0;
};

// The faces used by the images, opened once.
struct Fonts {
  Font bold{"DejaVuSans-Bold.ttf"};
  Font boldOblique{"DejaVuSans-BoldOblique.ttf"};
  Font condensedBold{"DejaVuSansCondensed-Bold.ttf"};
  Font regular{"DejaVuSans.ttf"};
  Font oblique{"DejaVuSans-Oblique.ttf"};
  Font light{"DejaVuSans-ExtraLight.ttf"};
  Font mono{"DejaVuSansMono.ttf"};
};

// The demo's palette: white fog, black, greys and dark red.
namespace pal {
const Rgb white{1, 1, 1};
const Rgb fog{0.94f, 0.94f, 0.94f};
const Rgb pale{0.8f, 0.8f, 0.8f};
const Rgb midGrey{0.5f, 0.5f, 0.5f};
const Rgb charcoal{0.14f, 0.14f, 0.14f};
const Rgb black{0.02f, 0.02f, 0.02f};
const Rgb red{0.5f, 0, 0};           // the demo's dark red
const Rgb brightRed{0.78f, 0.07f, 0.05f};
const Rgb deepRed{0.22f, 0.01f, 0.01f};
const Rgb rose{1.f, 0.84f, 0.82f};   // bright enough to stay opaque as its own mask
}  // namespace pal

// Names used on the logo, the end screen and the greeting cards.
extern const char* const kGroupName;
extern const char* const kDemoTitle;

// Draws the group's emblem (disc of radius r at cx, cy) into picture and mask.
void drawEmblem(Picture& p, Plane& mask, const Fonts& f, float cx, float cy, float r);

// Images by theme.
void drawLogo(Sink& out, const Fonts& f);        // cola, colamask
void drawShouts(Sink& out, const Fonts& f);      // yeah, disco and masks
void drawGreetings(Sink& out, const Fonts& f);   // greet1..8 and masks
void drawOrnament(Sink& out);                    // layer2, layer2mask
void drawEnding(Sink& out, const Fonts& f);      // ending

void drawLeds(Sink& out);        // led1..led4
void drawSpeculars(Sink& out);   // specular, specular2
void drawSkin(Sink& out);        // colainter
void drawStatic(Sink& out);      // noise
void drawWheel(Sink& out);       // wheel
void drawRedTexture(Sink& out);  // redtex
void drawNet(Sink& out);         // net
void drawFilm(Sink& out);        // blackbg, scratch

void drawBubble(Sink& out);      // bubble, bubblemask
void drawClouds(Sink& out);      // cloud2, cloudmask2, cloud3, cloud3mask
void drawFlowers(Sink& out);     // flowers
void drawFlourish(Sink& out);    // flowers2
void drawBlossom(Sink& out);     // flower1mask (colour), flower1 (its mask)
void drawButterfly(Sink& out);   // blank, butterfly
void drawTrash(Sink& out);       // trash
void drawDust(Sink& out);        // dust

void drawHead(Sink& out);        // man1, man1mask, man2, man2mask

}  // namespace gen
