#ifndef H_H
#define H_H
body
#endif
