#pragma once
// Hue-lightness-saturation to red-green-blue conversion for the colour maps of
// the display layer (error and curvature colouring).
//
// Pure functions on values: no ownership, no state, safe from any thread.

// Converts lightness and saturation in [0, 1] and a hue in degrees (0 red,
// 120 green, 240 blue) to r, g, b in [0, 1]. Saturation 0 gives the grey of
// the lightness whatever the hue.
void hlsToRgb(double lightness, double hueDegrees, double saturation, double& r, double& g,
              double& b);

// One colour component of the standard HLS conversion: m1 and m2 are the lower
// and upper bounds of the component, h the hue as a fraction of a full turn,
// shifted by the component's offset (it is brought back into [0, 1] by one
// turn at most).
double hlsToRgbComponent(double m1, double m2, double h);
