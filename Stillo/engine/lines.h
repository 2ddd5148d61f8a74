// Line detection in the grey picture of a finished strip: the dominant straight line, or the two
// dominant ones, so that the strip can be straightened along them.
//
// A line is y = a x + b: x the column from the left, y the row counted from the image's bottom
// line, that is rows - 1 - the image row. Every result is finite: where no line can be fitted
// (no edge pixels, all in one column, values no row number can hold) the answer is the level
// line through the middle, a = 0, b = (rows - 1) / 2.
#pragma once

#include "engine/image.h"

#include <cstdint>

// Reduces the image in place by the factor N (1..64, else the process ends with status 1),
// detects edges with their directions where the whole 5 x 5 neighbourhood is painted (non-zero),
// thins them and fits one line to the edge pixels of the prevailing direction. The line is in
// the reduced image's units. 1, or 0 when memory ran out (the line is then the level one).
int DetectDominantLine(IMAGE2D image, uint16_t rows, uint16_t cols, int window, int threshold,
                       int factor, float* slope, float* intercept);

// As DetectDominantLine up to the thinned edges; then the edges at or above their moment
// threshold vote for lines (intercept row at the centre column, direction in whole degrees), the
// votes are split into two clusters, each edge pixel goes to the nearer cluster's line and a
// line is fitted to each share. 1, or 0 when memory ran out (both lines are then level).
int DetectLinePair(IMAGE2D image, uint16_t rows, uint16_t cols, int window, int threshold,
                   int factor, float* slope1, float* intercept1, float* slope2, float* intercept2);

// As DetectLinePair, the two lines being the clusters' centres themselves, with no split and no
// fit.
int DetectLinePairByAccumulator(IMAGE2D image, uint16_t rows, uint16_t cols, int window,
                                int threshold, int factor, float* slope1, float* intercept1,
                                float* slope2, float* intercept2);

// dst = 255 where the whole size x size window of src is non-zero, 0 elsewhere within
// [h, rows - h) x [h, cols - h), h = size / 2; pixels nearer the border than h are not written.
// size must be odd and positive (else the process ends with status 1).
void ErodeBinary(IMAGE2D src, IMAGE2D dst, uint16_t rows, uint16_t cols, int size);

// image = 0 wherever mask is 0.
void MaskImage(IMAGE2D image, IMAGE2D mask, uint16_t rows, uint16_t cols);

// The smoothed-gradient edge detector of the Edges features with window M, keeping for each
// edge pixel its magnitude (1..255, from 0.025 of the squared gradient) and its direction (0..254,
// the line's angle folded into a half turn: theta = d / 81.1 - pi / 2). Output rows 0 .. rows - 2
// are written. 1, or 0 when memory ran out (the images are then untouched).
int DetectEdgesWithDirection(IMAGE2D image, uint16_t rows, uint16_t cols, int window,
                             double threshold, IMAGE2D magnitude, IMAGE2D direction);

// One output row of each image: a pixel is kept when its squared gradient is above
// threshold^2 and strictly greater than on both sides along the gradient. The first and the last
// window / 2 columns come out 0. ringSize is not read.
void SuppressNonMaximaWithDirection(float* const* gx, float* const* gy, int ringSize, int cols,
                                    int prevSlot, int centreSlot, int nextSlot, int window,
                                    uint8_t* magnitudeRow, uint8_t* directionRow, double threshold);
// As SuppressNonMaximaWithDirection, with 255 as the magnitude of every kept pixel.
void SuppressNonMaximaDirection255(float* const* gx, float* const* gy, int ringSize, int cols,
                                   int prevSlot, int centreSlot, int nextSlot, int window,
                                   uint8_t* magnitudeRow, uint8_t* directionRow, double threshold);
// As SuppressNonMaximaDirection255, both sides computed before either is compared.
void SuppressNonMaximaDirectionEager(float* const* gx, float* const* gy, int ringSize, int cols,
                                     int prevSlot, int centreSlot, int nextSlot, int window,
                                     uint8_t* magnitudeRow, uint8_t* directionRow,
                                     double threshold);

// The Edges features' thinning pass (ThinEdges) on any byte image, non-zero being set.
// percentRemoved receives the share of the interior pixels removed.
void ThinEdgeImage(IMAGE2D image, uint16_t rows, uint16_t cols, int* percentRemoved);

// One vote per edge pixel into accumulator[b][d] (rows x 180 cells): d the pixel's direction
// in whole degrees (0..179), b the row, counted from the bottom, at which the line through the
// pixel in that direction crosses the centre column. Lines crossing outside the image cast no
// vote; cells stop counting at the largest 32-bit count.
void AccumulateHoughLines(IMAGE2D edges, IMAGE2D direction, uint16_t rows, uint16_t cols,
                          int32_t** accumulator);

// Splits the points (xs[i], ys[i]), i = 1..n, into two classes, from a random start (the
// uniform generator reseeded with -1, so the same points always give the same split), and
// returns the classes' centres: the medians of their coordinates. Each round moves every point
// to the nearer centre (a tie to the second). A class left empty keeps its centre. 1 when the
// centres settled within 20 rounds, else 0 with the last centres.
int ClusterTwoMedians(const float* xs, const float* ys, int n, float* x1, float* y1, float* x2,
                      float* y2);
// As ClusterTwoMedians with the means of the classes as their centres.
int ClusterTwoMeans(const float* xs, const float* ys, int n, float* x1, float* y1, float* x2,
                    float* y2);

// The split of DetectLinePair: each set pixel of edges goes, as 255, to first when its row
// (counted from the bottom) is nearer to the first line's row at its column than to the
// second's, both lines' rows truncated to whole numbers, and otherwise to second, so a pixel at
// equal distance goes to the second. Pixels not set are left as they are in both.
void SplitEdgesBetweenLines(IMAGE2D edges, uint16_t rows, uint16_t cols, float slope1,
                            float intercept1, float slope2, float intercept2, IMAGE2D first,
                            IMAGE2D second);

// The least-squares line through the edge pixels (magnitude non-zero) whose direction lies
// within the median absolute deviation of the median direction.
void FitLineRobust(IMAGE2D magnitude, IMAGE2D direction, uint16_t rows, uint16_t cols, float* slope,
                   float* intercept);
