z_glued
