inner
