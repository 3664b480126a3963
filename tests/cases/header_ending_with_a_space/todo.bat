link
