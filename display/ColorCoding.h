// Colour maps of the display layer: a scalar value (a deviation, a curvature
// indicator) becomes an RGBA colour over a value range, and CColorCoding,
// the deviation colour map of the grid and the net.
//
// Every map splits the range into bands at tick values (rampValue); a range
// is two-sided when min < 0 < max, and its ticks then run from min to 0 and
// from 0 to max in equal halves. Within a band the colour follows the band's
// hue and lightness by the value's position f in the band. Values below the
// first tick take green (one-sided) or black (two-sided), values at or above
// the last tick red or white; hueBandColour clamps values into the range
// instead. Alpha is always 1.
// Thread-safety: pure functions; a CColorCoding is a plain value.
#pragma once

// Tick i of n + 1 ticks from a to b: one-sided evenly from a to b; two-sided
// the first half from a up to 0 and the second from 0 up to b.
double rampValue(double a, double b, int i, double n, bool twoSided);

// Four bands of hue, each running 60 degrees of the base hue 240 - 60 k down
// to 180 - 60 k, mapped onto the hue circle from hueLow (at base hue 240) to
// hueHigh (at base hue 0): H = hueHigh + (hueLow - hueHigh) h / 240, taken as
// a whole number of degrees, wrapped by 360. Lightness alternates between
// 0.25 and 0.65 from band to band; with a two-sided range and hueSwitch off
// the upper two bands run the other way, so the sign change at 0 shows as a
// step. Saturation is 1, or runs from saturationStart to saturationEnd
// across each band when both are >= 0. A range of fewer than two distinct
// ticks gives white. hueCarried is not read by the map.
void hueBandColour(double value, double min, double max, float rgba[4], int hueCarried, int hueLow,
                   int hueHigh, bool hueSwitch, double saturationStart = -1.0,
                   double saturationEnd = -1.0);

// Six bands: black to grey, then blue, cyan, green, yellow with alternating
// lightness, then grey to white.
void bandColour7(double value, double min, double max, float rgba[4]);

// Eight bands. Two-sided: black to grey, hues 300, 240, 180, 0, 60, 120,
// grey to white. One-sided: pairs of bands of hue 120, 60, 300 and 0, each
// pair running from dark to light.
void bandColour9(double value, double min, double max, float rgba[4]);

class CColorCoding {
public:
    double minimum = -0.15;
    double maximum = 0.15;
    // 1 hueBandColour with the three ints below, 2 hueBandColour round the
    // whole hue circle, 3 bandColour7, any other bandColour9.
    int mode = 3;
    int hueCarried = 0; // mode 1's hue arguments (the map does not read the first)
    int hueLow = 0;
    int count = 360; // mode 1's third hue argument

    CColorCoding() = default;
    virtual ~CColorCoding() = default;

    virtual void setMaximum(double value) { maximum = value; }
    virtual void setMinimum(double value) { minimum = value; }
    // setMinimum, then setMaximum, through the virtual table.
    virtual void setRange(double min, double max);

    // Colour of value over [min, max] by the mode.
    void getColour(float rgba[4], double value, double min, double max) const;
    // Colour of value over the stored range.
    void getColour(float rgba[4], double value) const;
};
