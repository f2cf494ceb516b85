y_glued
