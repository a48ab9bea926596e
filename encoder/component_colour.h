// The colours that type-4 and DOR frames show, and the samples that encoders aim at.
//
// Both formats show their pictures through the component conversion: a luma sample s (0 to
// 127 on the type-4 scale, 64 the middle) lights each channel at 2s - 15, so black lies 15 levels
// below luma 0 and the brightest grey is 239; each chroma sample adds to its channels twice a
// product rounded half up when positive and toward zero when negative, so even the neutral value
// is not the middle sample 64 but 63, and offsets below it come out weaker than above. An
// encoder that codes textbook YCbCr therefore shows every picture 15 levels dark and tinted.
//
// The targets here undo that: coded at these samples, a colour comes back as itself wherever
// the conversion can show it.
#pragma once

// The luma sample (unrounded, on the type-4 scale) that shows the 8-bit luma: channels at
// 2s - 15. It is not limited: above 127 (luma past 239) the decoder limits it, which also cuts
// the ringing of coded highlights.
inline double componentLumaSample(int luma) {
    return (luma + 15) / 2.0;
}

// The chroma samples (0 to 127, 63 neutral) whose channel terms come closest to those of 8-bit
// Cb and Cr, by least squared error over the two channels each feeds.
int componentCbSample(int cb);
int componentCrSample(int cr);
