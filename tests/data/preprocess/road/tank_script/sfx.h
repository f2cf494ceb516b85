#ifndef SFX_H
#define SFX_H
#define SFXTYPE_WAKE 2
#endif
