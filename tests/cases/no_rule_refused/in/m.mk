: just words
